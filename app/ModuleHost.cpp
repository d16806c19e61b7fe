#include "app/ModuleHost.h"

#include "platform/Debug.h"
#include "platform/Pump.h"
#include "platform/Tick.h"
#include "skin/ControlBuilder.h"
#include "skin/Panel.h"
#include "skin/ToolTips.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>

namespace app {

using platform::OutputDebugStringW;

TModuleHost::TModuleHost(QWidget* window, skin::TMainHost& mainHost, int headerHeight)
    : window_(window), mainHost_(mainHost) {
    Panel1 = skin::TControlBuilder(window).Add<skin::TPanel>(
        "Panel1", {0, headerHeight, window->width(), window->height() - headerHeight});
    Panel1->installEventFilter(this);
}

TModuleHost::~TModuleHost() = default;

void TModuleHost::FreeModules() {
    for (QWidget* module : Panel1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        delete module;
    current_ = nullptr;
}

QString TModuleHost::CurrentModuleClassName() const {
    return current_ ? currentClass_ : QString();
}

void TModuleHost::closeCurrentModule() {
    QWidget* module = current_;
    current_ = nullptr;
    currentClass_.clear();
    onOptionsChanged_ = nullptr;
    module->close(); // the module's own closing work
    module->hide();
    // Freed once control is back in the event loop: the switch may run inside a handler of
    // the module that is being replaced.
    module->deleteLater();
}

void TModuleHost::ChangeModule_Real(const QString& FormClass) {
    skin::ToolTips().OnCustomOnMouseLeave(window_);
    const uint32_t t0 = platform::timeGetTime();

    if (current_) {
        if (KeepFormLoaded_isKeepForm(current_) < 0) {
            OutputDebugStringW(QStringLiteral("Close: ") + currentClass_);
            closeCurrentModule();
        } else {
            OutputDebugStringW(QStringLiteral("DO NOT Close: ") + currentClass_);
            current_->hide();
            current_ = nullptr;
        }
    }

    QWidget* module = nullptr;
    if (const int keep = KeepFormLoaded_isKeepFormClass(FormClass); keep >= 0) {
        module = kept_[size_t(keep)].Form;
        OutputDebugStringW(QStringLiteral("KeepForm found: ") + FormClass +
                           QStringLiteral(" ; FormName=") + module->objectName());
    } else if (const TModuleClass* moduleClass = FindModuleClass(FormClass)) {
        module = moduleClass->Create(Panel1, mainHost_);
        if (module)
            OutputDebugStringW(QStringLiteral("Created: ") + FormClass +
                               QStringLiteral(" ; FormName=") + module->objectName());
    }
    if (!module) {
        OutputDebugStringW(QStringLiteral("No module of class ") + FormClass);
        return;
    }
    current_ = module;
    currentClass_ = FormClass;

    // Embedded: a borderless child filling the host, in front.
    if (module->parentWidget() != Panel1)
        module->setParent(Panel1, Qt::Widget);
    module->setGeometry(Panel1->rect());
    module->show();
    module->raise();

    if (OnModuleShown)
        OnModuleShown();
    layoutHost();
    platform::ProcessMessages(true);
    window_->update();
    // The module's first show event comes with its first showing: now when the window is
    // already visible, else together with the window.
    OutputDebugStringW(QStringLiteral("ms for Creating new Module = ") +
                       QString::number(platform::timeGetTime() - t0));
}

void TModuleHost::layoutHost() {
    if (const QScreen* screen = window_->screen()) {
        const int maxHeight =
            std::min(screen->availableGeometry().height() + 12, screen->geometry().height() - 1);
        window_->setMaximumSize(QWIDGETSIZE_MAX, maxHeight);
    }
    window_->setMinimumSize(kHostedMinimumSize);
    Panel1->setGeometry(0, kHostTop, window_->width(), window_->height() - kHostTop);
    laidOut_ = true;
}

void TModuleHost::PlaceBeforeFirstModule() {
    if (!laidOut_)
        Panel1->setGeometry(0, 66, 800, 479);
}

void TModuleHost::FollowWindowSize() {
    if (laidOut_)
        Panel1->setGeometry(0, kHostTop, window_->width(), window_->height() - kHostTop);
}

bool TModuleHost::eventFilter(QObject* watched, QEvent* event) {
    // The module fills the host.
    if (watched == Panel1 && event->type() == QEvent::Resize && current_ &&
        current_->parentWidget() == Panel1)
        current_->setGeometry(Panel1->rect());
    return false;
}

void TModuleHost::KeepFormLoaded(const QString& FormClass, QWidget* Form) {
    kept_.push_back({FormClass, Form});
}

int TModuleHost::KeepFormLoaded_isKeepForm(const QWidget* Form) const {
    for (size_t i = 0; i < kept_.size(); ++i)
        if (kept_[i].Form && kept_[i].Form == Form)
            return int(i);
    return -1;
}

int TModuleHost::KeepFormLoaded_isKeepFormClass(const QString& FormClass) const {
    for (size_t i = 0; i < kept_.size(); ++i)
        if (kept_[i].Form && kept_[i].FormClass == FormClass)
            return int(i);
    return -1;
}

void TModuleHost::KeepFormLoaded_ClearAll() {
    OutputDebugStringW(QStringLiteral("KeepFormLoaded_ClearAll"));
    // From the last; after each close from the last again, as closing may change the list.
    for (int i = int(kept_.size()) - 1; i >= 0;) {
        QWidget* form = kept_[size_t(i)].Form;
        if (!form) {
            --i;
            continue;
        }
        OutputDebugStringW(QStringLiteral("KeepFormLoaded_ClearAll ; Close=") + form->objectName());
        if (form == current_) {
            OutputDebugStringW(QStringLiteral(
                "KeepFormLoaded_ClearAll ; this is the current MainForm ; clear currentmainform"));
            current_ = nullptr;
            currentClass_.clear();
        }
        form->close();
        form->hide();
        form->deleteLater();
        kept_[size_t(i)] = {};
        i = int(kept_.size()) - 1;
    }
    kept_.clear();
}

} // namespace app
