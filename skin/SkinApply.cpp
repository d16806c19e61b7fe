#include "skin/SkinApply.h"

#include "i18n/ProjectMessages.h"
#include "platform/ProgramFolder.h"
#include "skin/Image.h"
#include "skin/LumoButton2.h"
#include "skin/Panel.h"
#include "skin/PngImage.h"
#include "skin/ToolTips.h"
#include "skin/stripeskins.h"

#include <QEvent>
#include <QPointer>

namespace skin {
namespace {

struct ButtonColors {
    TColor border, borderHover, borderDisabled;
    TColor fontEnabled, fontDisabled, fontAction;
    TColor face, faceHover, faceDisabled, faceAction, faceActionHover;
};

ButtonColors readButtonColors() {
    const QString ini = SkinFolder() + QStringLiteral("\\skin.ini");
    const QString section = QStringLiteral("LumoButtons2");
    auto color = [&](const char* key) { return ReadSkinColor(ini, section, QLatin1String(key)); };
    return {color("BorderColor"),
            color("BorderColor_Hover"),
            color("BorderColor_Disabled"),
            color("FontColor_NormalEnabled"),
            color("FontColor_NormalDisabled"),
            color("FontColor_ActionButton"),
            color("FaceColor_Normal"),
            color("FaceColor_Normal_Hover"),
            color("FaceColor_Disabled"),
            color("FaceColor_ActionButton"),
            color("FaceColor_ActionButton_Hover")};
}

void skinButtons(QWidget* container, bool setFont) {
    if (!container)
        return;
    const ButtonColors c = readButtonColors();
    for (QObject* child : container->children()) {
        auto* button = qobject_cast<TLumoButton2*>(child);
        if (!button)
            continue;
        button->SetBorderColor(c.border);
        button->SetBorderColor_Hover(c.borderHover);
        button->SetBorderColorDisabled(c.borderDisabled);
        button->SetFontColor_NormalEnabled(c.fontEnabled);
        button->SetFontColor_NormalDisabled(c.fontDisabled);
        button->SetFontColor_ActionButtonEnabled(c.fontAction);
        button->SetFaceColor_Normal(c.face);
        button->SetFaceColor_Normal_Hover(c.faceHover);
        button->SetFaceColor_Disabled(c.faceDisabled);
        button->SetFaceColor_ActionButton(c.faceAction);
        button->SetFaceColor_ActionButton_Hover(c.faceActionHover);
        if (setFont) {
            TFont font = button->Font();
            font.Font.setFamily(QStringLiteral("Segoe UI"));
            font.Font.setPointSize(10);
            button->SetFont(&font);
        }
        if (button->Caption().isEmpty() &&
            button->objectName().toUpper() == QLatin1String("LUMOBUTTON_MAINMENU")) {
            const QImage glyph =
                LoadSkinPicture(platform::ProgramFolder() + QStringLiteral("\\skins\\back.png"));
            button->SetGlyph(&glyph);
            ToolTips().AddToList(button, i18n::Message(i18n::Msg::MESSAGE_BACKTOMAINMENU),
                                 i18n::Message(i18n::Msg::MESSAGEHTML_TOOLTIPS_BACK));
        }
    }
}

// Moves the widget with its parent's bottom-right corner, keeping the distances it had.
class BottomRightAnchor : public QObject {
public:
    BottomRightAnchor(QWidget* widget)
        : QObject(widget), widget_(widget),
          right_(widget->parentWidget()->width() - widget->x()),
          bottom_(widget->parentWidget()->height() - widget->y()) {
        widget->parentWidget()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize && widget_ && watched == widget_->parentWidget()) {
            const QWidget* parent = widget_->parentWidget();
            widget_->move(parent->width() - right_, parent->height() - bottom_);
        }
        return false;
    }

private:
    QPointer<QWidget> widget_;
    int right_;
    int bottom_;
};

} // namespace

void SkinInfobarPanel(QWidget* panel) {
    if (!panel)
        return;
    const TColor color = ReadSkinColor(SkinFolder() + QStringLiteral("\\skin.ini"),
                                       QStringLiteral("Infobar"), QStringLiteral("Color"));
    if (auto* skinned = qobject_cast<TPanel*>(panel)) {
        skinned->SetColor(color);
        return;
    }
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, ToQColor(color));
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
}

void SkinButtonsInPanel(QWidget* panel) { skinButtons(panel, true); }

void SkinButtonsInForm(QWidget* form) { skinButtons(form, false); }

void AnchorBottomRight(QWidget* widget) {
    if (widget && widget->parentWidget())
        new BottomRightAnchor(widget);
}

TImage* AddSizeGripCopy(QWidget* panel, const TImage* source) {
    if (!panel || !source)
        return nullptr;
    auto* copy = new TImage(panel);
    copy->resize(source->size());
    copy->SetPicture(source->Picture());
    copy->OnMouseDown = source->OnMouseDown;
    copy->setCursor(source->cursor());
    copy->move(panel->width() - copy->width() - 2, panel->height() - copy->height() - 2);
    AnchorBottomRight(copy);
    copy->setVisible(true);
    copy->raise();
    return copy;
}

} // namespace skin
