#pragma once
// What the operator is told at start about who can reach the server: a listener on every
// address with security off serves any device on the network.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/Settings.h"

namespace kestrom {

// The IPv4 addresses (host byte order) of this computer's interfaces that are up.
std::vector<std::uint32_t> InterfaceAddresses();

// Whether a listener on every IPv4 address can be reached from other hosts: some interface
// has an address outside 127.0.0.0/8.
bool ReachableFromOtherHosts(std::span<const std::uint32_t> interfaceAddresses);

// The warning for a server with security off that other hosts can reach on port; empty
// when security is on or nobody else can reach it.
std::string OpenAccessWarning(const CKestromSettings& settings, bool reachable, int port);

}  // namespace kestrom
