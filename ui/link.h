#pragma once
// TLink: a hyperlink label, blue and underlined with a hand cursor. While the mouse button is
// down the text takes ActiveColor; a click opens the trimmed URL, or the trimmed caption when
// the URL is empty, in the desktop's default browser. Nothing opens when both are empty.

#include <QColor>
#include <QLabel>
#include <QString>

class TLink : public QLabel {
    Q_OBJECT
  public:
    explicit TLink(const QString& caption, const QString& url = QString(),
                   QWidget* parent = nullptr);

    void SetURL(const QString& url) { FURL = url; }
    QString URL() const { return FURL; }
    void SetActiveColor(const QColor& color) { FActiveColor = color; }
    // What a click opens now; empty when nothing would open.
    QString Target() const;

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void SetTextColor(const QColor& color);

    QString FURL;
    QColor FActiveColor;
    QColor FRestColor;
    bool FDown = false;
};
