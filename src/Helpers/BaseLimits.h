// The bounds on what a base may state about itself.
//
// Every size and count in a base comes from outside. Each bound here lies ten times or more above
// what a real base of this kind holds, so that no sound base meets one, and low enough that
// reading up to it costs seconds and memory a desktop has. What passes a bound is damage: the
// reader that meets it refuses it, names the file in the error log and keeps what it read before.
// The readers of tables, indexes, entries and the base update all take their bounds from here.
// Constants and a pure function; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace Norik {

// The longest line of a text table, line end included. The loaders keep at most 512 characters
// of a row; a real row is a few hundred.
inline constexpr std::size_t kMaxTableLineBytes = std::size_t{64} * 1024;

// The longest decoded document text (its RTF). The longest real codes decode to a few tens of
// megabytes (about 20 for the longest code with its tables); a text is held whole and laid out
// at several times its size, so the bound stays at about three times that.
inline constexpr std::uint32_t kMaxDocumentTextBytes = std::uint32_t{64} << 20;

// The most rows of one document in the document table: one a classifier node it is filed under.
// Real documents are filed under a handful.
inline constexpr std::size_t kMaxFilingsPerDocument = 1024;

// The largest file fileName (a name such as "Items.ttx") may be in a base; 0 for a name that is
// no table or index of a base. The names are compared as the base spells them.
std::uint64_t MaxBaseFileBytes(std::string_view fileName);

}  // namespace Norik
