#include "Messages.h"

#include <wchar.h>

const wchar_t BoxCaption[] = L"Kestrane";
const wchar_t MsgComFailed[] = L"Erreur Système.";
const wchar_t MsgBadArguments[] = L"Erreur.\nArguments.";
const wchar_t MsgSystemFolders[] = L"Erreur.\nSystème.";
const wchar_t MsgFirewall[] = L"Erreur.\nPare-Feu.";
const wchar_t MsgRegistry[] = L"Erreur.\nRegistre.";
const wchar_t MsgShortcuts[] = L"Erreur.\nRaccourcis.";
const wchar_t MsgFiles[] = L"Erreur.\nFichiers.";
const wchar_t MsgRestartQuestion[] =
    L"Le système doit redémarrer pour terminer la désinstallation.\nRedémarrer maintenant ?";
const wchar_t MsgRestartFailed[] = L"Erreur.\nRedémarrage.";
const wchar_t MsgDone[] = L"Désinstallation terminée avec succès.";

static const wchar_t ConfirmStart[] = L"Désinstaller  ";

std::wstring Confirm(const std::wstring &app)
{
    return ConfirmStart + app + L" ?";
}

std::wstring Running(const std::wstring &app)
{
    return app + L" est en cour d'exécution.\nFermez le programme et recommencez.";
}

bool OffersCancel(const std::wstring &text)
{
    return text.compare(0, wcslen(ConfirmStart), ConfirmStart) == 0 || text == MsgRestartQuestion;
}
