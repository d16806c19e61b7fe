#include "app/StripePrefetch.h"

#include "skin/SkinFiles.h"
#include "skin/stripeskins.h"

#include <system_error>

namespace app {

TStripePrefetch::~TStripePrefetch() {
    if (worker_.joinable())
        worker_.join();
}

void TStripePrefetch::Start(const QString& skinFolder) {
    if (worker_.joinable())
        return;
    const QString own = skinFolder + QStringLiteral("\\stripe.png");
    const QString shared = skin::SkinsFolder() + QStringLiteral("stripe.png");
    QString file;
    if (skin::FileExists(own))
        file = own;
    else if (skin::FileExists(shared))
        file = shared;
    else
        return; // the main window reports the missing stripe itself
    folder_ = skinFolder;
    stripe_ = std::make_unique<skin::TStripeSkinner>();
    stripe_->ErrorIndex = 1;
    try {
        worker_ = std::thread([stripe = stripe_.get(), file] { stripe->LoadFromStripeFile(file); });
    } catch (const std::system_error&) {
        stripe_.reset(); // decoded later on the UI thread
    }
}

std::unique_ptr<skin::TStripeSkinner> TStripePrefetch::Take(const QString& skinFolder) {
    if (worker_.joinable())
        worker_.join();
    if (!stripe_ || skinFolder != folder_)
        return nullptr;
    return std::move(stripe_);
}

} // namespace app
