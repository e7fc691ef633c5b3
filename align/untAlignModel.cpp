#include "untAlignModel.h"
