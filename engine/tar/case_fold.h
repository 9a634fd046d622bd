// Letter case for selection patterns: one character folded to the form that case-blind
// comparisons use, for every script Unicode gives case to (Latin, Greek, Cyrillic,
// Armenian, Georgian, Cherokee, Glagolitic, Deseret, ...), the same on every build.
#pragma once

namespace untgz {

// The folded form of a character: 'Ä' and 'ä' give 'ä', 'Σ', 'σ' and 'ς' give 'σ', 'ſ'
// gives 's'. Characters without case, and values that are no character, give themselves.
char32_t foldCase(char32_t c);

}  // namespace untgz
