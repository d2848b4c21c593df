// Failing system calls of one module: while a Faults object lives, the import-table slots of
// the module (the add-in) for the functions below point to counting stand-ins that call the
// real function, except the k-th call of the one function chosen, which fails the way the
// system fails it (a null handle, FALSE, an error code, a null allocation) with a last error.
//
//   sweep::Faults faults(addin, "CreateFileW", 3);   // the third CreateFileW of the add-in fails
//   faults.Arm(true);                                // calls are counted from now
//   ... run a command ...
//   faults.Counts();                                 // "CreateFileW 5\n..." while armed
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace sweep {

// The functions that can be failed, in table order.
std::vector<std::string> FaultFunctions();

class Faults {
 public:
  // `function` empty or `k` 0: nothing fails, the calls are only counted.
  Faults(HMODULE module, const std::string& function, long k);
  ~Faults();
  Faults(const Faults&) = delete;
  Faults& operator=(const Faults&) = delete;

  void Arm(bool on);
  // Whether the chosen call came and failed.
  bool Fired() const;
  // "<function> <calls>" lines of every function called while armed.
  std::string Counts() const;
  // The functions of the table that the module does not import.
  std::vector<std::string> Missing() const;

 private:
  struct Hooks;
  std::unique_ptr<Hooks> m_hooks;
};

}  // namespace sweep
