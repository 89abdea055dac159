#pragma once
// pnlBG: the black panel above the log that holds VideoPreview and keeps the preview at the
// video's aspect ratio whenever the panel or the video size changes (pnlBGResize). The
// preview shows only while a video size is known and the operator wants it (Toggle Video
// Preview); an unchecked preview stays hidden across graph rebuilds and resizes.

#include <QWidget>
#include <optional>

#include "app/preview_placement.h"
#include "app/preview_widget.h"

class TPreviewPanel final : public QWidget {
    Q_OBJECT
  public:
    explicit TPreviewPanel(QWidget* parent = nullptr);

    TPreviewWidget* VideoPreview() const { return FVideoPreview; }

    // The size of the video the preview branch delivers; 0 x 0 when there is none.
    void SetVideoSize(int width, int height);
    void SetPreviewWanted(bool wanted);
    // Places VideoPreview by the aspect rule; hides it when it cannot be placed.
    void pnlBGResize();
    // Where VideoPreview was placed last, or nothing while hidden.
    std::optional<TPreviewBounds> Placement() const { return FPlacement; }
    bool PreviewShown() const { return FVideoPreview->isVisible(); }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void ShowVideoWindow(bool visible);

    TPreviewWidget* FVideoPreview;
    int FVideoWidth = 0;
    int FVideoHeight = 0;
    bool FPreviewWanted = true;
    std::optional<TPreviewBounds> FPlacement;
};
