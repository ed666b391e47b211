#pragma once

#include <QByteArrayView>
#include <QList>

namespace jw {

// A key of the language table. Keys are built only here (and by method()),
// so the list of every key the program looks up stays complete.
class TextKey
{
public:
    constexpr explicit TextKey(const char *name) noexcept
        : m_name(name)
    {
    }
    QByteArrayView name() const noexcept { return QByteArrayView(m_name); }

private:
    const char *m_name;
};

// Every fixed key: identifier, then the key text.
#define JW_TEXT_KEYS(X)                                                                                                \
    /* tray menu and status */                                                                                         \
    X(wyjdz, "wyjdz")                                                                                                  \
    X(aktywny, "aktywny")                                                                                              \
    X(pokazKonfiguracje, "pokaz konfiguracje")                                                                         \
    X(oProgramie, "o programie")                                                                                       \
    X(statusRunning, "status_running")                                                                                 \
    X(statusQuarantine, "status_quarantine")                                                                           \
    X(statusQuarantineCount, "status_quarantine_count")                                                                \
    X(statusWaiting, "status_waiting")                                                                                 \
    X(statusDisabled, "status_disabled")                                                                               \
    /* confirmation dialog and about box */                                                                            \
    X(tak, "tak")                                                                                                      \
    X(nie, "nie")                                                                                                      \
    X(aboutPrawa, "about prawa")                                                                                       \
    X(aboutAutorzy, "about autorzy")                                                                                   \
    X(aboutGrafika, "about grafika")                                                                                   \
    X(aboutTesty, "about testy")                                                                                       \
    X(aboutAngielska, "about angielska")                                                                               \
    X(aboutPomoc, "about pomoc")                                                                                       \
    /* update window */                                                                                                \
    X(updatePostep, "update postep")                                                                                   \
    X(updateStop, "update stop")                                                                                       \
    X(updateClose, "update close")                                                                                     \
    X(updateOk, "update ok")                                                                                           \
    X(updateBrakPolaczenia, "update brak polaczenia")                                                                  \
    X(updateBrakAutoryzacji, "update brak autoryzacji")                                                                \
    /* configuration window tabs */                                                                                    \
    X(filtry, "filtry")                                                                                                \
    X(kwarantanna, "kwarantanna")                                                                                      \
    X(odpowiedz, "odpowiedz")                                                                                          \
    X(metody, "metody")                                                                                                \
    X(konfiguracja, "konfiguracja")                                                                                    \
    /* filter lists page */                                                                                            \
    X(biala, "biala")                                                                                                  \
    X(czarna, "czarna")                                                                                                \
    X(badwords, "badwords")                                                                                            \
    X(rbl, "rbl")                                                                                                      \
    X(xmailer, "xmailer")                                                                                              \
    X(dziwnedo, "dziwnedo")                                                                                            \
    X(dodaj, "dodaj")                                                                                                  \
    X(usun, "usun")                                                                                                    \
    X(szukaj, "szukaj")                                                                                                \
    X(zapisz, "zapisz")                                                                                                \
    /* quarantine page */                                                                                              \
    X(kwarantannaListOd, "kwarantanna list od")                                                                        \
    X(kwarantannaTemat, "kwarantanna temat")                                                                           \
    X(kwarantannaData, "kwarantanna data")                                                                             \
    X(kwarantannaKonto, "kwarantanna konto")                                                                           \
    X(kwarantannaTresc, "kwarantanna tresc")                                                                           \
    X(kwarantannaZrodlo, "kwarantanna zrodlo")                                                                         \
    X(kwarantannaPodgOd, "kwarantanna podg od")                                                                        \
    X(kwarantannaPodgTemat, "kwarantanna podg temat")                                                                  \
    X(kwarantannaPodgDo, "kwarantanna podg do")                                                                        \
    X(kwarantannaPodgDw, "kwarantanna podg dw")                                                                        \
    X(kwarantannaPopZaznacz, "kwarantanna podgl pop zaznacz")                                                          \
    X(kwarantannaPopKopiuj, "kwarantanna podgl pop kopiuj")                                                            \
    X(kwarantannaPopBiala, "kwarantanna podgl pop biala")                                                              \
    X(kwarantannaPopCzarna, "kwarantanna podgl pop czarna")                                                            \
    X(kwarantannaPopZaznaczWszystkie, "kwarantanna podgl pop zaznacz wszystkie")                                       \
    X(kwarantannaPopOdeslij, "kwarantanna podgl pop odeslij")                                                          \
    X(kwarantannaPopUsun, "kwarantanna podgl pop usun")                                                                \
    X(kwarantannaPopDodajZakazane, "kwarantanna podgl pop dodaj zakazane")                                             \
    /* reply page */                                                                                                   \
    X(odpowiedzTematLabel, "odpowiedz temat label")                                                                    \
    /* settings page */                                                                                                \
    X(znalezioneKonta, "znalezione konta")                                                                             \
    X(nazwa, "nazwa")                                                                                                  \
    X(konto, "konto")                                                                                                  \
    X(uzytkownik, "uzytkownik")                                                                                        \
    X(haslo, "haslo")                                                                                                  \
    X(port, "port")                                                                                                    \
    X(pin, "pin")                                                                                                      \
    X(jezyk, "jezyk")                                                                                                  \
    X(confJezykPolski, "conf jezyk polski")                                                                            \
    X(confJezykAngielski, "conf jezyk angielski")                                                                      \
    X(uruchamiaj, "uruchamiaj")                                                                                        \
    X(poziomSpamu, "poziom spamu")                                                                                     \
    X(maxymalnaLiczba, "maxymalna liczba")                                                                             \
    X(coRobicZeSpamem, "co robic ze spamem")                                                                           \
    X(confCoKwarantanna, "conf co kwarantanna")                                                                        \
    X(confCoUsun, "conf co usun")                                                                                      \
    X(confCoLowprio, "conf co lowprio")                                                                                \
    X(confCoPrzyjac, "conf co przyjac")                                                                                \
    X(aktualizujLabel, "aktualizuj label")                                                                             \
    X(aktualizujTeraz, "aktualizuj teraz")                                                                             \
    X(aktualizujPakiet, "aktualizuj pakiet")                                                                           \
    X(aktualizujBrakZrodla, "aktualizuj brak zrodla")                                                                  \
    X(aktualizujRecznie, "aktualizuj recznie")                                                                         \
    X(aktualizujDzien, "aktualizuj dzien")                                                                             \
    X(aktualizujTydzien, "aktualizuj tydzien")                                                                         \
    X(aktualizujMiesiac, "aktualizuj miesiac")                                                                         \
    X(dodajKonto, "dodaj konto")                                                                                       \
    X(ustawHaslo, "ustaw haslo")                                                                                       \
    X(zalogujMicrosoft, "zaloguj microsoft")                                                                           \
    X(zalogujGoogle, "zaloguj google")                                                                                 \
    X(logujHaslem, "loguj haslem")                                                                                     \
    X(zalogowano, "zalogowano")                                                                                        \
    X(zalogujNieudane, "zaloguj nieudane")                                                                             \
    X(zalogujHaslo, "zaloguj haslo")                                                                                   \
    X(zalogujPotrzebne, "zaloguj potrzebne")                                                                           \
    X(zalogujInny, "zaloguj inny")                                                                                     \
    X(oauthWstep, "oauth wstep")                                                                                       \
    X(oauthAutoryzacja, "oauth autoryzacja")                                                                           \
    X(oauthToken, "oauth token")                                                                                       \
    X(oauthZakres, "oauth zakres")                                                                                     \
    X(oauthKlient, "oauth klient")                                                                                     \
    X(oauthSekret, "oauth sekret")                                                                                     \
    X(automatycznieUsuwajSpam, "automatycznie usuwaj spam")                                                            \
    X(automatycznieUsuwajSpam2, "automatycznie usuwaj spam2")                                                          \
    /* messages */                                                                                                     \
    X(potwierdzZapisz, "potwierdz zapisz")                                                                             \
    X(potrzebujeTextDodaj, "potrzebuje text dodaj")                                                                    \
    X(juzIstnieje, "juz istnieje")                                                                                     \
    X(potrzebujeTextUsun, "potrzebuje text usun")                                                                      \
    X(potwierdzUsun, "potwierdz usun")                                                                                 \
    X(potrzebujeTextSzukaj, "potrzebuje text szukaj")                                                                  \
    X(nieZnaleziono, "nie znaleziono")                                                                                 \
    X(potrzebujeTextKwarantannaUsun, "potrzebuje text kwarantanna usun")                                               \
    X(subjectNull, "subject null")                                                                                     \
    X(fromNull, "from null")                                                                                           \
    X(nieMaKont1, "nie ma kont1")                                                                                      \
    X(nieMaKont2, "nie ma kont2")                                                                                      \
    X(nieMaKont3, "nie ma kont3")                                                                                      \
    X(zbytWysokiPoziomSpamu, "zbyt wysoki poziom spamu")                                                               \
    /* "%1" stands for the account's name */                                                                           \
    X(kontoPrzecinek, "konto przecinek")                                                                               \
    X(kontoPrzekierowane, "konto przekierowane")                                                                       \
    X(kontoTbHaslo, "konto tb haslo")                                                                                  \
    X(kontoOdlaczone, "konto odlaczone")                                                                               \
    X(poziomSpamuTip, "poziom spamu tip")                                                                              \
    X(coZeSpamemTip, "co ze spamem tip")                                                                               \
    X(kwarantannaCzeka, "kwarantanna czeka")                                                                           \
    X(kwarantannaDostarczona, "kwarantanna dostarczona")                                                               \
    /* followed by the lock's path and the system's reason */                                                          \
    X(brakBlokady, "brak blokady")                                                                                     \
    /* the desktop has no notification area for the icon */                                                            \
    X(brakZasobnika, "brak zasobnika")                                                                                 \
    /* "%1" stands for the number of characters shown */                                                               \
    X(podgladSkrocony, "podglad skrocony")                                                                             \
    /* why a Thunderbird account cannot be filtered (the row's tip) */                                                 \
    X(tbLogowanie, "tb logowanie")                                                                                     \
    X(tbPrzecinek, "tb przecinek")                                                                                     \
    X(tbKolizja, "tb kolizja")                                                                                         \
    /* "%1" stands for the reason */                                                                                   \
    X(tbProfil, "tb profil")                                                                                           \
    /* saving while Thunderbird runs on a profile */                                                                   \
    X(tbDziala, "tb dziala")                                                                                           \
    /* the tray's tip while a change waits for Thunderbird to close */                                                 \
    X(tbCzekaStart, "tb czeka start")                                                                                  \
    X(tbCzekaStop, "tb czeka stop")                                                                                    \
    /* the same for Claws Mail and Evolution: "%1" is the reason, "%2" the program */                                  \
    X(klientLogowanie, "klient logowanie")                                                                             \
    X(klientProblem, "klient problem")                                                                                 \
    /* "%1" stands for the mail program(s) */                                                                          \
    X(klientDziala, "klient dziala")                                                                                   \
    X(klientCzekaStart, "klient czeka start")                                                                          \
    X(klientCzekaStop, "klient czeka stop")

namespace keys {
#define JW_DECLARE_TEXT_KEY(id, text) inline constexpr TextKey id{text};
JW_TEXT_KEYS(JW_DECLARE_TEXT_KEY)
#undef JW_DECLARE_TEXT_KEY

inline constexpr int kMethodCount = 61;
// "method_0" to "method_60": the texts of the filter methods.
TextKey method(int number);

// Every key the program looks up, the method keys included.
const QList<TextKey> &all();
} // namespace keys

} // namespace jw
