// Repair of the registration of the DMS client's own command interfaces.
// Type-library registrations (the add-in's own among them) may have pointed ICommand and its
// relatives at a foreign type library; the repair points them back at the library of a client
// interface whose registration is taken as correct, and recreates the first four interface
// keys from it when they are missing.
#pragma once

namespace vpdf {

// For each view, HKCR\Interface\ and HKCR\Wow6432Node\Interface\: nothing happens in a view
// without the reference interface {62F8CCEF-3C71-11D2-8B38-00A0C970A730}. Never fails.
void RepairIManageInterfaces();

}  // namespace vpdf
