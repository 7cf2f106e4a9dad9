#include "rebuild/rebuild.h"
