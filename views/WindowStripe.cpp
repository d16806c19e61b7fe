#include "views/WindowStripe.h"

#include "skin/stripeskins.h"

#include <memory>

namespace views {

const skin::TStripeSkinner& WindowStripe() {
    if (const skin::TStripeSkinner* own = skin::CurrentStripe())
        return *own;
    static std::unique_ptr<skin::TStripeSkinner> fallback;
    static QString loadedFrom;
    if (!fallback || loadedFrom != skin::SkinFolder()) {
        fallback = skin::CreateSkinStripe();
        loadedFrom = skin::SkinFolder();
    }
    return *fallback;
}

} // namespace views
