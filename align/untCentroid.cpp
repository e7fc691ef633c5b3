#include "untCentroid.h"
