// A sampling profile of one thread of this program: every millisecond the thread is stopped, its
// stack unwound to the frames that lie in this program's own code, and the sample counted for
// each function on the way (inclusive) and for the innermost one (self). Only samples taken while
// the thread is inside what a benchmark measures (its Execute) count, and not those inside what
// it times apart (helpers, dialogs, plug-in, the client's objects), so the profile is of the
// command's own time. The function lookup of the unwinding is done here on
// a snapshot of the loaded modules: the system's lookup takes the loader lock, which the stopped
// thread may hold.
#pragma once
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <set>
#include <vector>

namespace bench {

class Sampler {
 public:
  // Set while the sampled thread is inside something timed apart.
  static std::atomic<int>& Apart() {
    static std::atomic<int> depth{0};
    return depth;
  }

  // Set while the sampled thread is inside what is measured.
  static std::atomic<int>& Measured() {
    static std::atomic<int> depth{0};
    return depth;
  }

  // Samples the calling thread from now on.
  Sampler() {
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &m_thread, 0,
                    FALSE, DUPLICATE_SAME_ACCESS);
    Snapshot();
    m_worker = CreateThread(nullptr, 0, &Sampler::Run, this, 0, nullptr);
  }
  ~Sampler() {
    Stop();
    CloseHandle(m_thread);
  }
  Sampler(const Sampler&) = delete;
  Sampler& operator=(const Sampler&) = delete;

  void Stop() {
    if (!m_worker) return;
    m_stop = true;
    WaitForSingleObject(m_worker, INFINITE);
    CloseHandle(m_worker);
    m_worker = nullptr;
  }

  // The `top` functions by inclusive samples, as "rva" of this program with self and inclusive
  // shares of the counted samples; the names come from the program's symbols (scripts or nm).
  void Print(int top) const {
    std::printf("profile: %d samples of own time (%d apart, %d not unwound)\n", m_counted,
                m_apart, m_lost);
    std::vector<std::pair<int, DWORD64>> order;
    for (const auto& [rva, count] : m_inclusive) order.push_back({count, rva});
    std::sort(order.rbegin(), order.rend());
    std::printf("%12s %8s %8s\n", "function", "incl %", "self %");
    for (int i = 0; i < top && i < static_cast<int>(order.size()); ++i) {
      const auto self = m_self.find(order[i].second);
      std::printf("  0x%08llx %8.1f %8.1f\n", static_cast<unsigned long long>(order[i].second),
                  100.0 * order[i].first / std::max(1, m_counted),
                  100.0 * (self == m_self.end() ? 0 : self->second) / std::max(1, m_counted));
    }
  }

 private:
  struct Module {
    DWORD64 base, end;
    const RUNTIME_FUNCTION* functions;
    size_t count;
  };

  void Snapshot() {
    HMODULE modules[512];
    DWORD needed = 0;
    EnumProcessModules(GetCurrentProcess(), modules, sizeof modules, &needed);
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
      auto* base = reinterpret_cast<BYTE*>(modules[i]);
      auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
          base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
      const IMAGE_DATA_DIRECTORY& pdata =
          nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXCEPTION];
      m_modules.push_back({reinterpret_cast<DWORD64>(base),
                           reinterpret_cast<DWORD64>(base) + nt->OptionalHeader.SizeOfImage,
                           reinterpret_cast<const RUNTIME_FUNCTION*>(base + pdata.VirtualAddress),
                           pdata.Size / sizeof(RUNTIME_FUNCTION)});
      if (modules[i] == GetModuleHandleW(nullptr)) m_own = m_modules.back();
    }
  }

  const RUNTIME_FUNCTION* Lookup(DWORD64 pc, DWORD64& base) const {
    for (const Module& module : m_modules) {
      if (pc < module.base || pc >= module.end) continue;
      base = module.base;
      const DWORD rva = static_cast<DWORD>(pc - module.base);
      const RUNTIME_FUNCTION* end = module.functions + module.count;
      const RUNTIME_FUNCTION* at = std::upper_bound(
          module.functions, end, rva,
          [](DWORD value, const RUNTIME_FUNCTION& f) { return value < f.BeginAddress; });
      if (at == module.functions || rva >= (at - 1)->EndAddress) return nullptr;
      return at - 1;
    }
    return nullptr;
  }

  // The start of the function of this program that holds `pc`, as an offset into the program.
  DWORD64 OwnFunction(DWORD64 pc) const {
    DWORD64 base = 0;
    const RUNTIME_FUNCTION* function = Lookup(pc, base);
    return function ? function->BeginAddress : pc - m_own.base;
  }

  void Sample() {
    if (Measured().load() == 0 || SuspendThread(m_thread) == static_cast<DWORD>(-1)) return;
    CONTEXT context{};
    context.ContextFlags = CONTEXT_FULL;
    const bool apart = Apart().load() > 0;
    // Nothing is allocated while the thread stands: it may hold the heap's lock.
    DWORD64 own[128];
    int owned = 0;
    bool unwound = false;
    if (!apart && GetThreadContext(m_thread, &context)) {
      for (int depth = 0; depth < 128 && context.Rip; ++depth) {
        if (context.Rip >= m_own.base && context.Rip < m_own.end) own[owned++] = OwnFunction(context.Rip);
        DWORD64 base = 0;
        const RUNTIME_FUNCTION* function = Lookup(context.Rip, base);
        if (!function) {
          // Outside every known function: a leaf, or code loaded after the snapshot.
          if (depth > 0 && owned == 0) break;
          context.Rip = *reinterpret_cast<DWORD64*>(context.Rsp);
          context.Rsp += 8;
          continue;
        }
        void* handlerData = nullptr;
        DWORD64 frame = 0;
        RtlVirtualUnwind(UNW_FLAG_NHANDLER, base, context.Rip, const_cast<RUNTIME_FUNCTION*>(function),
                         &context, &handlerData, &frame, nullptr);
      }
      unwound = owned > 0;
    }
    ResumeThread(m_thread);
    if (apart) {
      ++m_apart;
    } else if (!unwound) {
      ++m_lost;
    } else {
      ++m_counted;
      ++m_self[own[0]];
      for (DWORD64 function : std::set<DWORD64>(own, own + owned)) ++m_inclusive[function];
    }
  }

  static DWORD WINAPI Run(void* self) {
    auto* sampler = static_cast<Sampler*>(self);
    while (!sampler->m_stop) {
      Sleep(1);
      sampler->Sample();
    }
    return 0;
  }

  HANDLE m_thread = nullptr, m_worker = nullptr;
  std::atomic<bool> m_stop{false};
  std::vector<Module> m_modules;
  Module m_own{};
  std::map<DWORD64, int> m_inclusive, m_self;
  int m_counted = 0, m_apart = 0, m_lost = 0;
};

}  // namespace bench
