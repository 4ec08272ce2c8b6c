// What a clean run of the scenario program leaves in its program directory,
// and the exact bytes of its three binary files as SHA-256 digests a person
// can check with `sha256sum`.
#pragma once

#include <map>
#include <set>
#include <string>

namespace scenc::testing {

// The lock file through which runs in one directory take turns.
inline constexpr const char* kRunLockFile = ".scenario.lock";

// The three documents and the three binary files of a clean run.
inline const std::set<std::string>& files_of_a_run() {
  static const std::set<std::string> files = {
      "Firenze_Pisa_11711_note.txt",
      "Firenze_Pisa_11711_rallentamenti.txt",
      "Firenze_Pisa_11711_scheda_treno.txt",
      "Firenze_Pisa_linea.dat",
      "Firenze_Pisa_11711.sim",
      "Firenze_Pisa_11711.dat"};
  return files;
}

inline const std::map<std::string, std::string>& embedded_file_digests() {
  static const std::map<std::string, std::string> digests = {
      {"Firenze_Pisa_linea.dat",
       "67f0c0bf115f105d1f9130a8cdcb9c3560ec5cd238528794aeade554575483cc"},
      {"Firenze_Pisa_11711.sim",
       "de3023ed98938b499a0d931152fb115f07d23a8ef194baea82512be267bea6c1"},
      {"Firenze_Pisa_11711.dat",
       "d8770ad0693f8ee40910113881d4aed51ff96988affbbc09a5b266f481e94886"},
  };
  return digests;
}

}  // namespace scenc::testing
