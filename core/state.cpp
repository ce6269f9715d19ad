// The one definition of the shared state; every start begins in overwrite mode with nothing picked.
#include "state.h"

char SelectionBuffer[SelectionBufferSize];
unsigned short NameOffset;
char WorkPath[WorkPathSize];
int SelectionPending = 0;
int GenerateNewFiles = 0;
