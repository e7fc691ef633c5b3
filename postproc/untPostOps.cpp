#include "untPostOps.h"
