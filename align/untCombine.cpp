#include "untCombine.h"
