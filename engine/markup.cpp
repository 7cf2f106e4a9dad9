#include "engine/markup.h"
