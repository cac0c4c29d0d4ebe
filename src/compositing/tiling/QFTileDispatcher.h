#pragma once
// The process-wide dispatcher of tile work: at most as many tiles in flight
// as the platform reports active processors (read at every dispatch), the
// rest pending. While processors are free, tiles start in the order they
// were queued; once they are all busy, every finished tile starts the most
// recently queued pending one. Tiles run on the tile workers.

#include "platform/dispatch/DispatchQueue.h"

// Queues one tile's work.
void QFAddTilingBlock(lf::DispatchWork block);
