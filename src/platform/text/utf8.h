// UTF-8 decoding for the text surfaces: turns a byte string into code points, replacing every
// malformed, overlong, surrogate or truncated sequence with U+FFFD so nothing is ever dropped
// silently or read past the end.
#pragma once

#include <string>

std::u32string DecodeUtf8(const std::string& text);

// True for the Unicode space separators (category Zs), e.g. the narrow no-break space some
// locales put before "AM"/"PM". A font that lacks one of them may show it as a plain space.
bool IsSpaceSeparator(char32_t c);
