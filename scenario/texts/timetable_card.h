// The timetable card of train 11711. 48 lines.
// Blanks that belong to the text: line 2 is one blank; lines 8, 25, 34, 36,
// 41, 43, 44 and 46 end in 1, lines 11 and 45 in 2, line 9 in 7.
// Keep every blank: editors must not trim this file.
#pragma once

#include <string_view>

#include "scenario/document_table.h"

namespace scenc::texts {

inline constexpr std::string_view kTimetableCard = listing(R"(

 
  ___________________                                                ______________
 |                   |                  SCHEDA                      |              |
 |   TRENO n. 11711  |                da: FIRENZE S.M.N.            |    V160 B    |
 |___________________|                 a: PISA C.le                 |     120%     |
                                                                    |______________|
  ___________________                ___________________ 
 |  CLASSIFICAZIONE  |              |  MASSA BLOCCATA   |       
 |     REGIONALE     |              |      250T         |
 |___________________|              |___________________|  

  ________________________________________________________________________________
 | Vel.| Vel.| Progr Km | No  |  Localita' di Servizio     |    Orario      | Rec |
 | Lim.|Marc.|          | Rs  |                            |                |     |
 |_____|_____|__________|_____|____________________________|________________|_____|
 |  30 |     |    0     |  30 | FIRENZE S.M.N.             |          10.50 |     |
 | 115 |     |    0.600 | 115 | Deviatoio di uscita        |      10.51     |     |
 |  95 |     |    2.760 |  95 | FIRENZE RIFREDI            | 10.55    10.56 | 0.5 |
 | 130 |     |    7.380 | 120 | FIRENZE CASCINE            |      11.02     | 3   |
 |     |     |   11.970 |     | S. DONNINO                 |      11.05     | 0.5 |
 | 115 |     |   15.000 | 115 | Cippo chilometro 15.000    |      11.07     |     |
 |     |     |          |     | SIGNA                      | 11.09    11.10 | 1   |
 | 100 |     |   17.000 | 100 | Cippo chilometro 17.000    |      11.11     |     |
 |  90 |     |   18.600 |  90 | Km 18.600                  |      11.12     |     | 
 |     |     |   19.150 |     | CARMIGNANO                 |      11.13     |     |
 |  80 |     |   20.800 |  80 | Km 20.800                  |      11.14     |     |
 |  90 |     |   22.150 |  90 | P.te fiume Arno Km 22.15   |      11.15     |     |
 | 150 |     |   27.560 | 120 | MONTELUPO F.no             | 11.20    11.21 | 1   |
 | 160 |     |   30.000 |     | Cippo chilometro 30.000    |      11.23     |     |
 | 150 |     |   32.600 |     | Seg. protezione Empoli     |      11.24     |     |
 |     |     |   33.780 |     | EMPOLI                     | 11.26    11.27 | 0.5 |
 | 160 |     |   34.700 |     | Km. 34.700                 |      11.29     |     |
 | 150 |     |   42.150 |     | Seg. protezione S.Miniato  |      11.31     |     | 
 |     |     |   43.400 |     | S.MINIATO                  | 11.33    11.34 |     |
 | 130 |     |   47.950 |     | Seg. protezione S.Romano   |      11.37     |     | 
 |     |     |   49.320 |     | S.ROMANO                   | 11.38    11.39 |     |
 | 160 |     |   50.740 |     | Km. 50.740                 |      11.41     |     |
 |     |     |   56.810 |     | La ROTTA                   |      11.44     | 0.5 |
 | 150 |     |   60.570 |     | Seg. protezione Pontedera  |      11.48     |     |
 |     |     |   61.420 |     | PONTEDERA                  | 11.49    11.56 | 1   | 
 | 160 |     |   62.600 |     | Km. 62.600                 |      11.58     |     |
 | 150 |     |   67.100 |     | Km. 67.100                 |      12.00     |     | 
 |     |     |   68.300 |     | CASCINA                    | 12.02    12.03 | 1   | 
 | 130 |     |   70.650 |     | S.FREDIANO                 | 12.05    12.06 | 1   |  
 |     |     |   73.200 |     | NAVACCHIO                  | 12.09    12.10 | 0.5 | 
 |     |     |   80.840 |     | PISA                       | 12.17          | 0.5 |
 |_____|_____|__________|_____|____________________________|________________|_____|
)");

}  // namespace scenc::texts
