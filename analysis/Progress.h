#pragma once

namespace analysis {

// What the scan needs of a progress bar; the analyser window's bar implements it.
class TProgressBar {
public:
    virtual ~TProgressBar() = default;
    virtual void SetMax(int maximum) = 0;
    virtual void SetPosition(int position) = 0;
};

} // namespace analysis
