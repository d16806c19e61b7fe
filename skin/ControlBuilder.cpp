#include "skin/ControlBuilder.h"

#include <QAction>
#include <QMenu>

namespace skin {

QMenu* TControlBuilder::AddMenu(QAnyStringView name) const {
    return Named(new QMenu(parent_), name);
}

QAction* TControlBuilder::AddAction(QMenu* menu, QAnyStringView name, const QString& text,
                                    TTranslation translation) const {
    auto* item = Named(new QAction(text, menu), name, translation);
    menu->addAction(item);
    return item;
}

} // namespace skin
