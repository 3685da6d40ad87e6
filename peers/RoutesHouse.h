#pragma once
// The house network (getad and its items' impressions), the RTB exchange (bids and impression notices)
// and the price-token service, answered from the data folder's ads/house/.
namespace peers {

class PeerServer;

void addHouseNetwork(PeerServer& server);

}  // namespace peers
