// The words the format walkers and the conversion share: verdicts, the picked file read
// again span by span, and the CRs a search keeps.
#ifndef DECRIMP_FORMAT_TYPES_H
#define DECRIMP_FORMAT_TYPES_H

#include <cstddef>
#include <cstdio>

// The streaming check. CheckPassed: every check of the format held, to the last byte.
// CheckFailed: one did not. CheckUnsure: the check was given up unfinished (a gzip too
// large to inflate in the pass, say): it tells nothing either way.
enum CheckVerdict { CheckPassed, CheckFailed, CheckUnsure };

// The picked file, read again span by span for the search; it is never held whole.
struct PickedBytes {
    FILE* file;
    unsigned long long size;
};
// Exactly n bytes at offset, or false (a failed read, or past the end).
bool ReadPicked(const PickedBytes* picked, unsigned long long offset, unsigned char* out, size_t n);

// The CRs of CR LF pairs of the picked file that the file held before the damage: the
// offsets of those CRs in the file as picked, ascending. Bounded: a file needing more
// is not decided.
const size_t MaxKeptPairs = 1 << 16;
struct KeptPairs {
    size_t count;
    unsigned long long at[MaxKeptPairs];
};
// False when it is full.
bool KeepPair(KeptPairs* kept, unsigned long long at);

// SearchDecided: the file's own lengths say CRs of its pairs must stay (the second kind
// of damage), and exactly one way of keeping them passes every check: kept holds it.
// SearchUndecided: the lengths say CRs must stay, but no single way is found (several
// pass, none does, too many to tell apart, a span too long): nothing can be repaired.
// SearchNoEvidence: nothing in the file says any CR must stay: the lengths fit the
// plain repair, or the file is broken in a way keeping CRs does not mend.
// SearchBlind: the plain repair fails, no way is found, and the format has no lengths
// to say whether CRs must stay (a gzip member states only what it inflates to): a file
// broken before the damage and one keeping more CRs than were searched look alike.
enum SearchVerdict { SearchDecided, SearchUndecided, SearchNoEvidence, SearchBlind };
#endif
