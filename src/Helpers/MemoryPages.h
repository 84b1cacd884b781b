// Mapping in the pages of fresh memory at once.
//
// Memory the program has just allocated is backed by pages only when first touched, one page
// fault at a time; for the megabytes of a word index or of a decoder's dictionary those faults
// cost more than the work done in that memory. PrefaultPages asks the system to back a block
// with one call instead. It is a hint: where the system cannot do it, nothing happens, and the
// pages come at first touch as before. Any thread.
#pragma once

#include <cstddef>

namespace Norik {

// Backs the whole pages inside [data, data + bytes) with memory now; blocks under 64 KiB are left
// alone (their few faults cost less than the call).
void PrefaultPages(void* data, std::size_t bytes);

}  // namespace Norik
