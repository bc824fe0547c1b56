#pragma once

namespace tv {

// Marks the upper halves of the AVX registers unused on the calling thread (vzeroupper), where
// the processor has them; does nothing elsewhere.
//
// Some code in the process returns with them still in use: Qt loading its SQL driver plugin
// does. Until then every SSE instruction of code built for plain x86-64, SQLite's and ours,
// waits on those halves: a million-row read ran a quarter slower. A thread started meanwhile
// inherits the state, and any later call into such code can leave it again, so long loops
// call this just before they start.
void clearVectorUpperState();

} // namespace tv
