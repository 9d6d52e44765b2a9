// Control block library: regulator, filters, transforms, power, comparators, timers and
// delay lines shared by the control modules.
#pragma once

#include "blocks/comparators.h"
#include "blocks/delays.h"
#include "blocks/filters.h"
#include "blocks/numeric.h"
#include "blocks/pi_reg.h"
#include "blocks/power.h"
#include "blocks/sequence.h"
#include "blocks/transforms.h"
