#pragma once

// The translatable-name check of a window: exactly the controls that the list of translatable
// components names for the window's class carry Tag 1 (the window itself counts with its own
// component name), so no listed control is missing and no unlisted one would be translated.

#include "i18n/TranslatableComponents.h"

#include <QObject>
#include <QSet>
#include <QStringList>

#include <gtest/gtest.h>

namespace formstest {

inline QStringList SortedList(const QSet<QString>& set) {
    QStringList list(set.begin(), set.end());
    list.sort();
    return list;
}

inline void ExpectTagsMatchList(const QObject* window, const char* windowClass) {
    QSet<QString> listed;
    for (const i18n::TranslatableComponent& c : i18n::TranslatableComponents())
        if (QLatin1String(c.windowClass) == QLatin1String(windowClass)) {
            EXPECT_EQ(QLatin1String(c.section), window->objectName()) << c.component;
            listed.insert(QLatin1String(c.component));
        }
    QSet<QString> tagged;
    if (window->property("Tag").toInt() == 1)
        tagged.insert(window->objectName());
    for (const QObject* child : window->findChildren<QObject*>())
        if (child->property("Tag").toInt() == 1)
            tagged.insert(child->objectName());
    EXPECT_EQ(SortedList(tagged - listed).join(u' ').toStdString(), "") << "tagged, not listed";
    EXPECT_EQ(SortedList(listed - tagged).join(u' ').toStdString(), "") << "listed, not tagged";
}

} // namespace formstest
