#pragma once

// The program's own identity, shared by the save, the version check and the about box.
namespace AppIdentity {
inline constexpr char AppVersion[] = "1.05";
inline constexpr char AppName[] = "REVADIDOVADIDU";
inline constexpr char RegistryKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kovalen Designs\\Quilmora";
inline constexpr char ApplicationTitle[] = "Quilmora Configuration Editor";
} // namespace AppIdentity
