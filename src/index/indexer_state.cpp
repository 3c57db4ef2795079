#include "index/indexer_state.h"

IndexerCurrency currencyOf(const IndexerState &state)
{
    // a stopped indexer's last words are not to be trusted, whatever they said
    if (state.heartbeatAgeMs > heartbeatLimitMs)
        return IndexerCurrency::Silent;
    if (!state.swept)
        return IndexerCurrency::Sweeping;
    if (state.overflowed)
        return IndexerCurrency::Overflowed;
    if (state.pending)
        return IndexerCurrency::Behind;
    return IndexerCurrency::Current;
}
