#pragma once

#include "index/index_filter.h"

#include <QString>

// What spurwerk-find says on standard error of the index's part in a run: that it answered and
// how many files were read, or why it was not used; empty when there is no index at all.
QString indexNote(const IndexReport &report, bool alone);
