#include "engine/demux.h"
