// The notes on the run for the driver: the remarks on the scenario and how to
// read the timetable card, row by row, for the first stretch. 87 lines.
// The one byte above ASCII is the o with grave accent of line 50, written as
// the escape \xF2 (Windows-1252) so that this UTF-8 file cannot turn it into
// two bytes; every other accented vowel is the vowel and ` or '.
// Blanks that belong to the text: line 1 opens with 16; lines 17, 26, 31, 35,
// 36, 45, 47, 50 and 83 end in 1; lines 33, 43 and 62 are one blank, line 66
// two, line 82 three.
// Keep every blank: editors must not trim this file.
#pragma once

#include <string_view>

#include "scenario/document_table.h"

namespace scenc::texts {

inline constexpr std::string_view kNotes = listing(R"(
                Treno 11711 sul percorso Firenze S.M.N.  Pisa C.le

 Alcune precisazioni su questo percorso:
 - Il treno 11711 in realta` prosegue da Pisa Centrale fino a Pisa Aeroporto.
 - Il documento 'Scheda Treno', in estensione a tutte le linee FS, su questa
   linea non esiste ancora: quella che trovate qui e` ricavata dall'orario.
 - Il simulatore considera che il peso delle vetture sia sempre 50 t, pertanto
   le sei vetture di questo treno pesano in tutto 300 t. L'orario invece e`
   calcolato per vetture piu` leggere, e infatti la scheda riporta una massa
   bloccata di 250 t. Chi vuole condurre il treno con la massa dell'orario
   puo` togliere una vettura: con cinque vetture da 50 t la differenza
   scompare.
   Ricordate anche che la massa complessiva mostrata nel menu 'Treno' del
   simulatore comprende le 80 t della locomotiva: con sei vetture leggerete
   380 t, con cinque 330 t.
 - L'impostazione dell'orario prevede che la locomotiva di questo treno sia
   un 646. 
 - Per chiudere la corsa con il punteggio di penalita` piu` basso consultate
   il manuale per sapere come sono assegnati i punti (capitoli
   'Visualizza stress_viaggiatori' e 'Visualizza stress_locomotiva'),
   e guidate di conseguenza: niente strappi e niente frenate brusche.
 - Scheda treno.
   Nella parte alta della scheda ci sono i dati del treno: numero, origine,
   destinazione, rango di velocita`, percentuale di massa frenata, categoria
   e massa bloccata. La tabella ha 7 colonne; quella della velocita` di
   marcia e` vuota perche` su questa linea le sue norme non esistono ancora. 
  _________________________________________________________________________________
 | Vel.| Vel.| Progr Km  |  No | Localita'  Servizio      |  Orario         |  Rec |
 | Lim.|Marc.|           |  Rs |                          |                 |      |
 |_____|_____|___________|_____|__________________________|_________________|______|
 |  30 |     |        0  |  30 | FIRENZE S.M.N.           |           10.50 |      | 
 | 115 |     |     0.600 | 115 | Deviatoio di uscita      |      10.51      |      |
 
   Riga 1: da FIRENZE S.M.N., progressiva 0, la velocita` massima e` 30 km/h
   e la partenza e` alle 10.50. La colonna 'No Rs' indica la velocita` da 
   non superare quando la ripetizione dei segnali in macchina e` guasta. 
   Riga 2: dal deviatoio di uscita, alla progressiva 0.600, si sale a
   115 km/h, ma solo quando l'ultimo veicolo ha liberato tutti gli scambi;
   fino ad allora restate a 30 km/h.
   Alle 10.50 il segnale di partenza si dispone a via libera e sotto il
   tachimetro compare l'ordine di partenza: solo allora muovete il treno,
   anche se siete pronti prima.
 
 |  95 |     |    2.760 |  95 | FIRENZE RIFREDI            | 10.55    10.56 | 0.5 |
 | 130 |     |    7.380 | 120 | FIRENZE CASCINE            |      11.02     | 3   | 

   Riga 3: a FIRENZE RIFREDI il treno ferma, con arrivo alle 10:55 e 
   partenza alle 10:56. Se giungete in anticipo restate fermi fino all'ora
   indicata e muovete il treno solo dopo aver ricevuto l'ordine di
   partenza; pu)" "\xF2" R"( darsi che questo accada, perche` in questa stazione sono previsti 0.5 
   minuti di recupero. Dalla partenza vale il limite di 95 km/h.
   Il segnale di partenza di Rifredi e` giallo: vi avvisa che il segnale
   successivo puo` essere disposto a via impedita, quindi tenete una
   velocita` che vi permetta di fermarvi prima di esso. Superato quel
   segnale comincia la ripetizione dei segnali in macchina a quattro codici.
   Riga 4: FIRENZE CASCINE si transita alle 11.02, con 3 minuti di
   recupero, e dal km 7.380 il limite sale a 130 km/h. Non pensate pero`
   di raggiungerlo: al segnale di protezione di Firenze Cascine la
   ripetizione segnali da` un codice restrittivo, perche` poco oltre, al
   km 9, c'e` il rallentamento a 30 km/h per 50 metri del modulo M. 3.
   Frenate per tempo e riprendete velocita` solo a rallentamento superato.
 
   |     |     |   11.970 |     | S. DONNINO                 |      11.05     | 0.5 |
   | 115 |     |   15.000 | 115 | Cippo chilometro 15.000    |      11.07     |     |
   |     |     |          |     | SIGNA                      | 11.09    11.10 | 1   |
  
   Riga 5: S. DONNINO si transita alle 11:05.
   Poco dopo la ripetizione segnali passa al codice restrittivo per la
   fermata di Signa, e lo fa in anticipo: in cabina vedrete il giallo
   lampeggiante ben prima del segnale di protezione. Non e` un guasto.
   Con la ripetizione segnali la velocita` massima dipende dal codice che
   ricevete: con la quarta luce accesa e una percentuale di massa frenata
   del 120 % non si superano i 100 km/h; con il codice verde, la quinta
   luce, si puo` arrivare a 160 km/h, sempre entro i limiti della scheda.
   Riga 6: dal cippo chilometrico 15.000 il limite scende a 115 km/h:
   il treno deve avere gia` quella velocita` quando la testa passa il cippo.
   Riga 7: fermata a SIGNA, arrivo alle 11.09 e partenza alle 11.10, con
   1 minuto di recupero.
   Da qui in avanti le righe della scheda si leggono allo stesso modo:
   seguitela riga per riga fino a PISA, controllando limiti e orari e
   tenendo d'occhio i segnali, che hanno sempre l'ultima parola.
   
   p.s. 
   A PONTEDERA il treno entra su un binario deviato e sosta alcuni minuti
   per dare la precedenza al treno 3119. In alcuni punti della linea
   dovrete attendere che i segnali si dispongano a via libera: fermatevi
   davanti al segnale e ripartite solo quando si e` aperto.
)");

}  // namespace scenc::texts
