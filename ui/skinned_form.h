#pragma once
// tSkinnedForm: a frameless top-level window that paints its own dark title bar, border, icon
// and caption buttons, and handles the mouse over them itself. Subclasses put their controls
// into Client(), the area inside the frame. Main thread only.

#include <QDialog>
#include <QPoint>
#include <QRect>

class QWidget;

enum class TFormBorderStyle { None, Single, Sizeable, Dialog, ToolWindow, SizeToolWin };

struct TBorderIcons {
    bool SystemMenu = true;
    bool Minimize = false;
    bool Maximize = false;
};

// What a modal form returns from exec(): OK accepts it, Cancel rejects it.
enum class TModalResult { None, OK, Cancel };

class tSkinnedForm : public QDialog {
    Q_OBJECT
  public:
    // The caption element under the pointer.
    enum THotButton { hbNone = -1, hbClose = 0, hbMinimize = 1, hbMaximize = 2, hbIcon = 3 };

    tSkinnedForm(QWidget* parent, TFormBorderStyle borderStyle, TBorderIcons borderIcons);

    QWidget* Client() const { return FClient; }
    void SetClientSize(QSize size);
    QSize ClientSize() const;
    // The client area's background.
    void SetColor(const QColor& color);

    // Closes the modal form with that result; None does nothing.
    void SetModalResult(TModalResult result);

    TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    int FrameWidth() const;
    int CaptionHeight() const;
    bool ShowsIcon() const;
    int HotButton() const { return FHotButton; }
    // Where the caption elements were last painted, in window coordinates; empty when not shown.
    QRect CloseRect() const { return FCloseRect; }
    QRect MaxRect() const { return FMaxRect; }
    QRect MinRect() const { return FMinRect; }
    QRect IconRect() const { return FIconRect; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    bool ShowsCaptionButtons() const;
    bool ShowsMinMax() const;
    void LayOutCaption();
    int ButtonAt(QPoint pos) const;
    Qt::Edges EdgesAt(QPoint pos) const;
    bool IsCaption(QPoint pos) const;
    void ReleasedOver(int button);
    void DragTo(QPoint globalPos);
    bool ClickDialogButton(int key);

    const TFormBorderStyle FBorderStyle;
    const TBorderIcons FBorderIcons;
    QWidget* FClient = nullptr;  // owned by the form (Qt parent)
    int FHotButton = hbNone;
    bool FPressed = false;
    QRect FCloseRect, FMaxRect, FMinRect, FIconRect;
    // A move or resize done here where the platform cannot do it itself.
    Qt::Edges FDragEdges;
    bool FDragging = false;
    QPoint FDragStart;
    QRect FDragGeometry;
};
