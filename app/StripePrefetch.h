#pragma once

// Decoding the skin's picture stripe (one PNG of 256 icons) is the longest single piece of the
// start. The program starts it on a helper thread before the toolkit is set up, and the main
// window takes the result when it needs the stripe; a skin chosen differently in the meantime
// makes the main window decode its own.

#include <QString>

#include <memory>
#include <thread>

namespace skin {
class TStripeSkinner;
}

namespace app {

class TStripePrefetch {
public:
    TStripePrefetch() = default;
    ~TStripePrefetch();
    TStripePrefetch(const TStripePrefetch&) = delete;
    TStripePrefetch& operator=(const TStripePrefetch&) = delete;

    // Chooses the stripe file of a skin folder the way the main window does and decodes it on a
    // helper thread. The helper only reads that file.
    void Start(const QString& skinFolder);

    // Waits for the helper; the stripe when it was decoded for skinFolder, else nothing.
    std::unique_ptr<skin::TStripeSkinner> Take(const QString& skinFolder);

private:
    QString folder_;
    std::unique_ptr<skin::TStripeSkinner> stripe_;
    std::thread worker_;
};

} // namespace app
