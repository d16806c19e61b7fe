#pragma once

// The native bytes of a node's own name, as the volume listed it: what the writers of saved
// analyses and ncdu JSON store, so that a name comes back byte for byte.

#include "analysis/AnalysisTree.h"

#include <string>

namespace saved {

// Appends the native bytes of display text (a byte a character for plain ASCII).
void AppendNativeText(const analysis::TTextRun& run, std::string& out, std::u16string& scratch);

// The name of node n below parent, in native bytes, into out. scratch is working space kept by
// the caller across calls.
void NativeNameOf(const analysis::TAnalysisTree& tree, analysis::PNode n, analysis::PNode parent,
                  std::string& out, std::u16string& scratch);

} // namespace saved
