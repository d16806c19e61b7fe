#pragma once

// Builds the named controls of a window in one place: each control gets its component name as
// objectName (the translation walk and the diagnostics read it), the Tag that marks it for
// translation where its texts come from the translation, and its design geometry (at 96 dpi;
// Qt scales it on high-density screens).
//
//     const skin::TControlBuilder build(this);
//     Label_Version = build.Add<QLabel>("Label_Version", {301, 60, 108, 16}, skin::Translated);
//     auto* item = build.AddAction(menu, "MenuItem_Options", "Einstellungen", skin::Translated);

#include <QAnyStringView>
#include <QRect>
#include <QWidget>

class QAction;
class QMenu;

namespace skin {

// Whether the window's translation replaces the control's texts (the Tag property is 1).
enum class TTranslation { None, Translated };
inline constexpr TTranslation Translated = TTranslation::Translated;

// Names an object of a window (a control, a menu, a menu item) and marks it for translation.
template <class Object>
Object* Named(Object* object, QAnyStringView name, TTranslation translation = TTranslation::None) {
    object->setObjectName(name.toString());
    if (translation == Translated)
        object->setProperty("Tag", 1);
    return object;
}

class TControlBuilder {
public:
    explicit TControlBuilder(QWidget* parent) : parent_(parent) {}

    QWidget* Parent() const { return parent_; }

    // A new control on the parent, named, at its design geometry.
    template <class Control>
    Control* Add(QAnyStringView name, const QRect& geometry,
                 TTranslation translation = TTranslation::None) const {
        return Place(new Control(parent_), name, geometry, translation);
    }
    // The same, keeping the control's own size (its picture or a later layout sizes it).
    template <class Control>
    Control* Add(QAnyStringView name, TTranslation translation = TTranslation::None) const {
        return Named(new Control(parent_), name, translation);
    }
    // A control the caller made with another constructor, named and placed.
    template <class Control>
    Control* Place(Control* control, QAnyStringView name, const QRect& geometry,
                   TTranslation translation = TTranslation::None) const {
        Named(control, name, translation);
        control->setGeometry(geometry);
        return control;
    }

    // A menu of the parent, and an item appended to a menu.
    QMenu* AddMenu(QAnyStringView name) const;
    QAction* AddAction(QMenu* menu, QAnyStringView name, const QString& text,
                       TTranslation translation = TTranslation::None) const;

private:
    QWidget* parent_;
};

} // namespace skin
