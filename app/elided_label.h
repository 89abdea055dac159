#pragma once
// TElidedLabel: one line of text that never asks for more width than it is given. A status
// holding a long path would otherwise stretch the window past the screen; the text is cut in
// the middle instead (both ends of a path say the most), and the whole text is the tooltip.

#include <QLabel>
#include <QString>

class TElidedLabel final : public QLabel {
    Q_OBJECT
  public:
    explicit TElidedLabel(QWidget* parent = nullptr);

    // The whole text; shown cut to the label's width.
    void SetFullText(const QString& text);
    QString FullText() const { return FFullText; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void ShowElided();

    QString FFullText;
};
