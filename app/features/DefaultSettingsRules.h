// The Default Settings dialog's rules: the quality names and their CRF values,
// the frame rate's limits, and keeping the start-with-the-session entry in
// step with its option.
#pragma once

#include <string>

namespace orvex {

class RegistryStore;

// In list order, largest files first.
extern const char* const kQualityNames[5];
// The list entry that shows a stored CRF ("Medium" for 16-20).
int QualityIndexForCrf(int crf);
// The CRF an entry saves; a name that is not in the list saves 20.
int CrfForQuality(const std::string& name);
// The frame-rate edit's text as a number limited to 1-120. Any number of
// digits is taken: a huge one is 120, not an overflow.
int LimitFps(const std::string& text);
// The entry of the cloud-drive list whose text begins with the stored one,
// without regard to case; 0 when none or nothing is stored.
int CloudDriveIndex(const std::string& stored);

// Adds or removes the start-with-the-session entry so that it is there
// exactly when wanted. False when the change failed (removing an entry that
// is not there succeeds).
bool AutostartPresent(const RegistryStore& store);
bool SetAutostart(RegistryStore& store, bool wanted, const std::string& programPath);

}  // namespace orvex
