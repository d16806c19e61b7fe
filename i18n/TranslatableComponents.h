#pragma once

// Every control of the translated windows that carries a translatable text: the window's class
// and component name (the section of its keys), the control's component name and its built-in
// German text. A window marks exactly these controls with Tag 1 and takes their built-in texts
// from here; the shipped translations are checked against this list, so a control added here
// cannot ship untranslated. Texts of controls with several items (tabs, columns) hold one
// caption per item, separated by "%CRLF", as in a translation file.

#include <QString>

#include <span>

namespace i18n {

struct TranslatableComponent {
    const char* windowClass; // "TForm_ORB"
    const char* section;     // "Form_ORB", the window's component name
    const char* component;   // "LumoButton_Analyse"; equal to section for the window's caption
    const char* german;      // built-in text, UTF-8
};

std::span<const TranslatableComponent> TranslatableComponents();

// The built-in text of a control with every "%CRLF" as CR LF; empty when it is not listed.
QString BuiltInText(const QString& section, const QString& component);

} // namespace i18n
