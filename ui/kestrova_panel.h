#pragma once
// TKestrovaPanel: a white panel with a black one-pixel outline and a 17-pixel black title
// strip with white bold text across its top. An empty title hides the strip.

#include <QFrame>
#include <QString>

class QMouseEvent;

// The title strip; its mouse events are the panel's title events.
class TKestrovaPanelTitle : public QWidget {
    Q_OBJECT
  public:
    explicit TKestrovaPanelTitle(QWidget* parent);
    void SetText(const QString& text);
    QString Text() const { return FText; }

  signals:
    void MouseDown(QMouseEvent* event);
    void MouseMove(QMouseEvent* event);
    void MouseUp(QMouseEvent* event);
    void Clicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QString FText;
};

class TKestrovaPanel : public QFrame {
    Q_OBJECT
  public:
    static constexpr int TitleHeight = 17;

    explicit TKestrovaPanel(const QString& title = QString(), QWidget* parent = nullptr);

    void SetTitle(const QString& title);
    QString Title() const { return FTitleStrip->Text(); }
    void SetTitleCursor(const QCursor& cursor) { FTitleStrip->setCursor(cursor); }
    TKestrovaPanelTitle* TitleStrip() const { return FTitleStrip; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void PlaceTitle();

    TKestrovaPanelTitle* FTitleStrip;  // owned by the panel (Qt parent)
};
