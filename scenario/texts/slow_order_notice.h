// The slow-order notice (form M. 3) for train 11711: the one slow order of
// the run, twenty empty rows, and the key to the prescriptions. 41 lines,
// none ending in a blank.
// Keep every blank: editors must not trim this file.
#pragma once

#include <string_view>

#include "scenario/document_table.h"

namespace scenc::texts {

inline constexpr std::string_view kSlowOrderNotice = listing(R"(

                               Modulo M. 3
                           ORDINE DI RALLENTAMENTO
 ________________________________________________________________________________
  Linea  Firenze Pisa

  Si ordina al macchinista del treno 11711 di effettura i seguenti rallentamenti
  _______________________________________________________________________________
 |   |                            |Inizio dopo |          |         |            |
 | N.|      FRA LE STAZIONI       | il cippo   | Velocita'|Lunghezza|Prescrizioni|
 |   |   (o nelle Stazioni di)    |chilometrico|          |   metri | specifiche |
 |___|____________________________|____________|__________|_________|____________|
 | 1 |  Firenze Cascine - Signa   |     9      |    30    |   50    |   ---      |
 |   |                            |            |          |         |            |
 |   |                            |            |          |         |            |
 |   |                            |            |          |         |            |
 |   |                            |            |          |         |            |
 |   |                            |            |          |         |            |
 |   |                            |            |          |         |            |
 |   |                            |            |          |         |            |
 |   |                            |            |          |         |            |
 |   |                            |            |          |         |            |
 |   |                            |            |          |         |            |
 |   |                            |            |          |         |            |
 |   |                            |            |          |         |            |
 |   |                            |            |          |         |            |
 |   |                            |            |          |         |            |
 |   |                            |            |          |         |            |
 |   |                            |            |          |         |            |
 |   |                            |            |          |         |            |
 |   |                            |            |          |         |            |
 |   |                            |            |          |         |            |
 |   |                            |            |          |         |            |
 |___|____________________________|____________|__________|_________|____________|

              Prescrizioni specifiche
 A - Da rispettare con tutto il treno (per i treni viaggiatori)
 B - Interessa anche la stazione di.......
 D - Rallentamneto N. ... e N. ...  sono contigui
 C - Da rispettare dalle ore ....  alle ore ..... di tutti
     i giorni esclusi i seguenti:.........
)");

}  // namespace scenc::texts
