#pragma once
// The recovery a flash check finds for each susceptible AP of the simulator's demo fleet,
// by AP name; the demo fleet holds one or more APs for each recovery group.

#include <map>
#include <string>

namespace test_support {

inline const std::map<std::string, std::string> kDemoFleetRecovery = {
    {"AP-HQ-FLOOR3-SWAP", "Recover with image partition swap"},
    {"AP-HQ-FLOOR4-LOWMEM", "Recover with devshell"},
    {"AP-HQ-FLOOR5-MULTI", "Recover with devshell"},
    {"AP-BR1-ARCHIVE", "Safe state but AP has buggy image in the backup partition"},
    {"AP-BR1-INTEGRITY", "Image integrity check has failed for these APs"},
    {"AP-BR10-LOWFLASH", "Partition is safe but the flash storage is low"},
};

}  // namespace test_support
