#include "analysis/ListPresentation.h"

namespace analysis {

QString UpperForCompare(QStringView path) {
    QString out = path.toString();
    UpperForCompareInPlace(reinterpret_cast<char16_t*>(out.data()),
                           static_cast<size_t>(out.size()));
    return out;
}

void UpperForCompareInPlace(char16_t* text, size_t length) {
    for (size_t i = 0; i < length; ++i)
        text[i] = UpperForCompareUnit(text[i]);
}

} // namespace analysis
