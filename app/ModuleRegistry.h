#pragma once

// The module classes the main window can host. A module is a window class known by its class
// name ("TForm_ORB") together with a factory that makes a new window of it inside a given
// parent, handing it the main window as its host. The program entry registers the analyser;
// tests register modules of their own.

#include <QString>

#include <functional>

class QWidget;

namespace skin {
class TMainHost;
}

namespace app {

using TModuleFactory = std::function<QWidget*(QWidget* parent, skin::TMainHost& host)>;

struct TModuleClass {
    QString ClassName;
    TModuleFactory Create;
};

// The class the main window shows as its main menu: the analyser.
inline const QString kMainModuleClass = QStringLiteral("TForm_ORB");

// Registers (or replaces) the factory of a class.
void RegisterModuleClass(const QString& className, TModuleFactory factory);
void UnregisterModuleClass(const QString& className);
// The registered class of that name (exact comparison); nullptr when there is none.
const TModuleClass* FindModuleClass(const QString& className);

} // namespace app
