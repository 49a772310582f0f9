// Why a file could not be loaded, as the probe's programs say it.
#pragma once

#include "platform/Status.h"

#include <cstdint>
#include <string>

class CRawX10;

// 18937856 as "18,937,856".
std::string WithSeparators(int64_t value);

// The reason raw could not load its file: the status's text, and for a
// file too short its size and the size needed.
std::string DescribeLoadFailure(const CRawX10& raw, Status status);
