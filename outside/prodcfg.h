// Product configuration library (prodcfg_x64.dll): the class as the library declares it.
// The add-in reaches its members through outside/companions.h, loaded on first use.
#pragma once
#include <cstddef>

// Microsoft's compiler exports the members under their decorated names from this declaration;
// with other compilers the library's and the add-in's .def files export them under those names.
#if defined(_MSC_VER)
#define PRODCFG_MEMBER __declspec(dllexport)
#else
#define PRODCFG_MEMBER
#endif

class CPDFConfig {
 public:
  PRODCFG_MEMBER static CPDFConfig& get_instance();
  PRODCFG_MEMBER int GetUILanguage(int kind);
  PRODCFG_MEMBER int registry_based_install_path(wchar_t* buffer, std::size_t size);
  PRODCFG_MEMBER int GetInstallPath(wchar_t* buffer, std::size_t size);

  // Comes with the class declaration; the add-in module exports it.
  PRODCFG_MEMBER CPDFConfig& operator=(const CPDFConfig& other);

 private:
  int m_loaded = 0;
  int m_uiLanguage[3] = {-1, -1, -1};
  wchar_t m_installPath[520] = {};
};
