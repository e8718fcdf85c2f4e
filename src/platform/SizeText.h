#pragma once
// Human-readable sizes as every list shows them: below 1024 bytes "%d B", below 1 048 576
// "%.01f KB", else "%.01f MB", divided in floating point. Some lists drop the blank.

#include <QString>

#include <cstdint>

enum class SizeBlank { With, Without };

QString FormatSizeText(std::int64_t bytes, SizeBlank blank = SizeBlank::With);
