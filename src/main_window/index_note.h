#pragma once

#include "index/index_filter.h"

#include <QString>

// What the folder line tells after a run of the index's part in it: that the index answered and
// how many files were read, or why it was not used; empty when there is no index at all.
QString indexNote(const IndexReport &report);
