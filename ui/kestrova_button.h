#pragma once
// TKestrovaButton: the flat push button of the dark windows. A click first gives its form the
// button's ModalResult, then emits clicked(). Enter clicks it while it is active (it is the
// form's default button, or it has the focus); Escape clicks it when it is the Cancel button.

#include <QAbstractButton>
#include <QPixmap>
#include <vector>

#include "ui/skinned_form.h"

using TImageList = std::vector<QPixmap>;

enum class tButtonImagePosition { bipLeft, bipRight };

class TKestrovaButton : public QAbstractButton {
    Q_OBJECT
  public:
    explicit TKestrovaButton(const QString& caption, QWidget* parent = nullptr);

    void SetModalResult(TModalResult result) { FModalResult = result; }
    TModalResult ModalResult() const { return FModalResult; }
    void SetCancel(bool cancel) { FCancel = cancel; }
    bool Cancel() const { return FCancel; }
    void SetDefault(bool isDefault);
    bool Default() const { return FDefault; }
    // The list is owned by the form and outlives the button. An index outside it draws no image.
    void SetImageList(const TImageList* images);
    void SetImageIndex(int index);
    int ImageIndex() const { return FImageIndex; }
    void SetLayout(tButtonImagePosition layout);
    void SetTextAlignment(Qt::Alignment alignment);

    // Enter clicks an active button.
    bool IsActive() const { return FIsActive; }
    bool MouseInside() const { return FMouseInside; }
    // Where the caption is drawn, in the button's coordinates.
    QRect TextRect() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    const QPixmap* Image() const;
    void GiveModalResult();

    TModalResult FModalResult = TModalResult::None;
    bool FCancel = false;
    bool FDefault = false;
    const TImageList* FImages = nullptr;
    int FImageIndex = -1;
    tButtonImagePosition FLayout = tButtonImagePosition::bipLeft;
    Qt::Alignment FTextAlignment = Qt::AlignHCenter;
    bool FMouseInside = false;
    bool FIsActive = false;
};
