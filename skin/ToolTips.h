#pragma once

// The registry of the program's own tooltips: which control shows which title and text. It
// hooks the mouse-enter and mouse-leave events of the controls it registers and hands them to
// the tooltip window (see Form_ToolTips.h), which places the tooltip and shows it after a delay.
//
// Registration can be switched off: once a switch is installed (the options dialog installs
// its tooltip check box), AddToList registers nothing while the switch answers false.

#include <QString>

#include <functional>
#include <vector>

class QObject;
class QWidget;

namespace skin {

struct TToolTip {
    QString ParentClassName; // class of the control's parent at registration
    QString ControlName;     // the control's objectName()
    QString Caption;         // title line
    QString Text;            // body, simple HTML
};

// What shows the tooltips; the registry only finds the record.
class TToolTipPresenter {
public:
    virtual ~TToolTipPresenter() = default;
    // The mouse entered a registered control: place the tooltip and start its delay.
    virtual void Enter(QWidget* sender, const TToolTip& tip) = 0;
    // The mouse left (or the main window takes the tooltip away): cancel and hide.
    virtual void Leave() = 0;
};

class TToolTips {
public:
    // Registers a tooltip for a control and hooks its mouse events. The key is the class name of
    // the control's parent and the control's name (case-sensitive); a key registered before
    // keeps its first texts, but the control is hooked again. Controls of other classes than
    // the program's buttons and picture controls are registered but not hooked.
    void AddToList(QWidget* TheControl, const QString& Caption, const QString& Text);

    void OnCustomOnMouseEnter(QObject* Sender);
    void OnCustomOnMouseLeave(QObject* Sender);

    const std::vector<TToolTip>& List() const { return FToolTipList; }
    const TToolTip* Find(const QString& parentClassName, const QString& controlName) const;

    // Empty: registration always on. Installed by the options dialog.
    void SetRegistrationSwitch(std::function<bool()> isOn) { registrationSwitch_ = std::move(isOn); }
    void SetPresenter(TToolTipPresenter* presenter) { presenter_ = presenter; }
    TToolTipPresenter* Presenter() const { return presenter_; }

    // Back to an empty registry without switch or presenter (tests).
    void Reset();

private:
    std::vector<TToolTip> FToolTipList;
    std::function<bool()> registrationSwitch_;
    TToolTipPresenter* presenter_ = nullptr;
};

// The one registry of the run.
TToolTips& ToolTips();

// Class name without namespace, as the registry keys use it ("TForm_ORB", "QWidget").
QString ToolTipClassName(const QObject* object);

} // namespace skin
