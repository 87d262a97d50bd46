#pragma once

class QTranslator;

// Qt's own texts (a text field's Undo, Copy, Paste, Select All; the buttons of standard dialogs)
// read in Chinese like the rest of the program: Qt's Chinese catalogue, from Qt's translations
// folder, goes onto the application. Answers the installed translator (owned by the application),
// or null when the catalogue is not there, which leaves Qt's texts in English.
QTranslator* installQtTranslations();
