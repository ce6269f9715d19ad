// Process-wide state shared by the window and the conversion core.
// Fixed sizes on purpose: the program allocates nothing of its own on the heap.
#ifndef DECRIMP_STATE_H
#define DECRIMP_STATE_H

const int SelectionBufferSize = 4000;  // the Open dialog's multi-file result
const int WorkPathSize = 400;          // directory prefix + one file name
const int NameBufferSize = 256;        // one file name, terminator included

extern char SelectionBuffer[SelectionBufferSize];
extern unsigned short NameOffset;  // offset of the first name, = directory prefix length
extern char WorkPath[WorkPathSize];
extern int SelectionPending;   // 1 after a successful Open, 0 after a run
extern int GenerateNewFiles;   // 0: overwrite the picked files, 1: keep "Copy of " files

#endif
