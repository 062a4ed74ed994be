#pragma once

// Shared with the editor: the core holds it.
#include "config/ItemKeys.h"
