#include "engine/runs.h"
