; Texts of the setup's own messages in the six shipped languages; MUI2 brings the rest.
; AGENT_LANG_CODE: the agent's language code written on a first install.

LangString AGENT_LANG_CODE ${LANG_ENGLISH} "en"
LangString AGENT_LANG_CODE ${LANG_GERMAN} "de"
LangString AGENT_LANG_CODE ${LANG_FRENCH} "fr"
LangString AGENT_LANG_CODE ${LANG_SPANISH} "es"
LangString AGENT_LANG_CODE ${LANG_ITALIAN} "it"
LangString AGENT_LANG_CODE ${LANG_DUTCH} "nl"

LangString START_NOW ${LANG_ENGLISH} "Start ${PRODUCT} now"
LangString START_NOW ${LANG_GERMAN} "${PRODUCT} jetzt starten"
LangString START_NOW ${LANG_FRENCH} "Démarrer ${PRODUCT} maintenant"
LangString START_NOW ${LANG_SPANISH} "Iniciar ${PRODUCT} ahora"
LangString START_NOW ${LANG_ITALIAN} "Avvia ${PRODUCT} ora"
LangString START_NOW ${LANG_DUTCH} "${PRODUCT} nu starten"

LangString STOPPING_AGENT ${LANG_ENGLISH} "Ending the running ${PRODUCT}..."
LangString STOPPING_AGENT ${LANG_GERMAN} "Das laufende ${PRODUCT} wird beendet..."
LangString STOPPING_AGENT ${LANG_FRENCH} "Fermeture de ${PRODUCT} en cours d'exécution..."
LangString STOPPING_AGENT ${LANG_SPANISH} "Cerrando ${PRODUCT} en ejecución..."
LangString STOPPING_AGENT ${LANG_ITALIAN} "Chiusura di ${PRODUCT} in esecuzione..."
LangString STOPPING_AGENT ${LANG_DUTCH} "Het actieve ${PRODUCT} wordt afgesloten..."

LangString AGENT_STILL_RUNS ${LANG_ENGLISH} "${PRODUCT} is running and did not end within 15 seconds. Nothing was changed. Exit ${PRODUCT} from its tray menu and try again."
LangString AGENT_STILL_RUNS ${LANG_GERMAN} "${PRODUCT} läuft und wurde nicht innerhalb von 15 Sekunden beendet. Es wurde nichts geändert. Beenden Sie ${PRODUCT} über sein Menü im Infobereich und versuchen Sie es erneut."
LangString AGENT_STILL_RUNS ${LANG_FRENCH} "${PRODUCT} est en cours d'exécution et ne s'est pas fermé dans les 15 secondes. Rien n'a été modifié. Quittez ${PRODUCT} depuis son menu de la zone de notification et réessayez."
LangString AGENT_STILL_RUNS ${LANG_SPANISH} "${PRODUCT} se está ejecutando y no se cerró en 15 segundos. No se ha cambiado nada. Salga de ${PRODUCT} desde su menú del área de notificación e inténtelo de nuevo."
LangString AGENT_STILL_RUNS ${LANG_ITALIAN} "${PRODUCT} è in esecuzione e non si è chiuso entro 15 secondi. Non è stato modificato nulla. Esci da ${PRODUCT} dal suo menu nell'area di notifica e riprova."
LangString AGENT_STILL_RUNS ${LANG_DUTCH} "${PRODUCT} is actief en is niet binnen 15 seconden afgesloten. Er is niets gewijzigd. Sluit ${PRODUCT} af via het menu in het systeemvak en probeer het opnieuw."

LangString FOLDER_TOO_LONG ${LANG_ENGLISH} "The folder path is too long.$\r$\n${PRODUCT} needs a folder path of at most ${MAX_FOLDER_BYTES} characters. Choose a shorter folder."
LangString FOLDER_TOO_LONG ${LANG_GERMAN} "Der Ordnerpfad ist zu lang.$\r$\n${PRODUCT} braucht einen Ordnerpfad von höchstens ${MAX_FOLDER_BYTES} Zeichen. Wählen Sie einen kürzeren Ordner."
LangString FOLDER_TOO_LONG ${LANG_FRENCH} "Le chemin du dossier est trop long.$\r$\n${PRODUCT} a besoin d'un chemin de ${MAX_FOLDER_BYTES} caractères au plus. Choisissez un dossier plus court."
LangString FOLDER_TOO_LONG ${LANG_SPANISH} "La ruta de la carpeta es demasiado larga.$\r$\n${PRODUCT} necesita una ruta de como máximo ${MAX_FOLDER_BYTES} caracteres. Elija una carpeta más corta."
LangString FOLDER_TOO_LONG ${LANG_ITALIAN} "Il percorso della cartella è troppo lungo.$\r$\n${PRODUCT} richiede un percorso di al massimo ${MAX_FOLDER_BYTES} caratteri. Scegli una cartella più corta."
LangString FOLDER_TOO_LONG ${LANG_DUTCH} "Het pad van de map is te lang.$\r$\n${PRODUCT} heeft een mappad van hoogstens ${MAX_FOLDER_BYTES} tekens nodig. Kies een kortere map."

LangString FOLDER_NOT_WRITABLE ${LANG_ENGLISH} "The folder cannot be created or written:$\r$\n$INSTDIR$\r$\nNothing was installed. Choose another folder."
LangString FOLDER_NOT_WRITABLE ${LANG_GERMAN} "Der Ordner kann nicht angelegt oder beschrieben werden:$\r$\n$INSTDIR$\r$\nEs wurde nichts installiert. Wählen Sie einen anderen Ordner."
LangString FOLDER_NOT_WRITABLE ${LANG_FRENCH} "Le dossier ne peut pas être créé ni modifié :$\r$\n$INSTDIR$\r$\nRien n'a été installé. Choisissez un autre dossier."
LangString FOLDER_NOT_WRITABLE ${LANG_SPANISH} "No se puede crear la carpeta ni escribir en ella:$\r$\n$INSTDIR$\r$\nNo se ha instalado nada. Elija otra carpeta."
LangString FOLDER_NOT_WRITABLE ${LANG_ITALIAN} "Impossibile creare la cartella o scrivervi:$\r$\n$INSTDIR$\r$\nNon è stato installato nulla. Scegli un'altra cartella."
LangString FOLDER_NOT_WRITABLE ${LANG_DUTCH} "De map kan niet worden gemaakt of beschreven:$\r$\n$INSTDIR$\r$\nEr is niets geïnstalleerd. Kies een andere map."
