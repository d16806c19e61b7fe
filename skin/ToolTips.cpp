#include "skin/ToolTips.h"

#include "skin/Image.h"
#include "skin/LumoButton2.h"
#include "skin/TarviMouseImage3State.h"

#include <QWidget>

namespace skin {

QString ToolTipClassName(const QObject* object) {
    if (!object)
        return {};
    const QString name = QString::fromLatin1(object->metaObject()->className());
    const qsizetype colons = name.lastIndexOf(QStringLiteral("::"));
    return colons < 0 ? name : name.mid(colons + 2);
}

const TToolTip* TToolTips::Find(const QString& parentClassName, const QString& controlName) const {
    for (const TToolTip& tip : FToolTipList)
        if (tip.ParentClassName == parentClassName && tip.ControlName == controlName)
            return &tip;
    return nullptr;
}

void TToolTips::AddToList(QWidget* TheControl, const QString& Caption, const QString& Text) {
    if (!TheControl)
        return;
    if (registrationSwitch_ && !registrationSwitch_())
        return;
    const QString parentClass = ToolTipClassName(TheControl->parentWidget());
    if (!Find(parentClass, TheControl->objectName()))
        FToolTipList.push_back({parentClass, TheControl->objectName(), Caption, Text});

    const TNotifyEvent enter = [this](QObject* sender) { OnCustomOnMouseEnter(sender); };
    const TNotifyEvent leave = [this](QObject* sender) { OnCustomOnMouseLeave(sender); };
    if (auto* button = qobject_cast<TLumoButton2*>(TheControl)) {
        button->OnMouseEnter = enter;
        button->OnMouseLeave = leave;
    } else if (auto* image = qobject_cast<TImage*>(TheControl)) {
        image->OnMouseEnter = enter;
        image->OnMouseLeave = leave;
    } else if (auto* imageButton = qobject_cast<TTarviMouseImage3State*>(TheControl)) {
        imageButton->OnMouseEnter = enter;
        imageButton->OnMouseLeave = leave;
    }
}

void TToolTips::OnCustomOnMouseEnter(QObject* Sender) {
    if (FToolTipList.empty() || !Sender)
        return;
    QWidget* control = nullptr;
    if (qobject_cast<TLumoButton2*>(Sender) || qobject_cast<TImage*>(Sender) ||
        qobject_cast<TTarviMouseImage3State*>(Sender))
        control = static_cast<QWidget*>(Sender);
    if (!control || control->objectName().isEmpty())
        return;
    const TToolTip* tip = Find(ToolTipClassName(control->parentWidget()), control->objectName());
    if (tip && presenter_)
        presenter_->Enter(control, *tip);
}

void TToolTips::OnCustomOnMouseLeave(QObject*) {
    if (presenter_)
        presenter_->Leave();
}

void TToolTips::Reset() {
    FToolTipList.clear();
    registrationSwitch_ = nullptr;
    presenter_ = nullptr;
}

TToolTips& ToolTips() {
    static TToolTips registry;
    return registry;
}

} // namespace skin
