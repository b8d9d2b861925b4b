// The report's loops over blocks of values, built twice where the machine
// may have AVX2.
#pragma once

// Where the machine may have AVX2, the loops over a block's values are
// compiled twice, for it and for any x86-64, and the loader picks one as
// the program starts: the same operations, each rounded as before, on
// registers twice as wide, so the same bits either way.  Only functions
// of one file's own carry it, as compilers differ on how a declaration
// elsewhere must.
#if defined(__x86_64__) && !defined(CALCGAP_NO_LANE_CLONES)
#define CALCGAP_LANE_CLONES [[gnu::target_clones("avx2", "default")]]
#else
#define CALCGAP_LANE_CLONES
#endif

namespace calcgap::report {

}  // namespace calcgap::report
