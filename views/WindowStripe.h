#pragma once

// Where the analyser window and the drive picker take their pictures from: the stripe of the
// main window, or, when a window runs without one (a test host, a window shown on its own), a
// stripe of the current skin loaded on first use and again after the skin folder changed.

namespace skin {
class TStripeSkinner;
}

namespace views {

const skin::TStripeSkinner& WindowStripe();

} // namespace views
