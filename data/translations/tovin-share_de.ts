<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>CommandLineShareRequest</name>
    <message>
        <source>left out the link %1: a share holds one link, the last one given</source>
        <translation>Link %1 weggelassen: Es wird nur ein Link geteilt, der zuletzt angegebene</translation>
    </message>
    <message>
        <source>left out the text from standard input: a share holds one text, the first one given</source>
        <translation>Text aus der Standardeingabe weggelassen: Es wird nur ein Text geteilt, der zuerst angegebene</translation>
    </message>
    <message>
        <source>left out the text %1: a share holds one text, the first one given</source>
        <translation>Text %1 weggelassen: Es wird nur ein Text geteilt, der zuerst angegebene</translation>
    </message>
</context>
<context>
    <name>DisplayProbe</name>
    <message>
        <source>Qt has no platform plugin &quot;%1&quot;</source>
        <translation>Qt hat kein Plattform-Plugin „%1“</translation>
    </message>
    <message>
        <source>DISPLAY names no X server that answers</source>
        <translation>DISPLAY nennt keinen X-Server, der antwortet</translation>
    </message>
    <message>
        <source>WAYLAND_DISPLAY names no compositor that answers</source>
        <translation>WAYLAND_DISPLAY nennt keinen Compositor, der antwortet</translation>
    </message>
    <message>
        <source>QT_QPA_PLATFORM names no platform</source>
        <translation>QT_QPA_PLATFORM nennt keine Plattform</translation>
    </message>
    <message>
        <source>; </source>
        <extracomment>Between the reasons why no display could be reached</extracomment>
        <translation>; </translation>
    </message>
    <message>
        <source>no display to show the sheet on: %1</source>
        <translation>keine Anzeige, auf der das Fenster erscheinen kann: %1</translation>
    </message>
</context>
<context>
    <name>EnqueueFailure</name>
    <message>
        <source>the disk is full</source>
        <translation>Der Datenträger ist voll</translation>
    </message>
    <message>
        <source>the disk quota is used up</source>
        <translation>Das Speicherkontingent ist ausgeschöpft</translation>
    </message>
    <message>
        <source>permission was denied</source>
        <translation>Der Zugriff wurde verweigert</translation>
    </message>
    <message>
        <source>the disk is read-only</source>
        <translation>Der Datenträger ist schreibgeschützt</translation>
    </message>
    <message>
        <source>it no longer exists</source>
        <translation>Es ist nicht mehr vorhanden</translation>
    </message>
    <message>
        <source>the disk reported a read or write error</source>
        <translation>Der Datenträger hat einen Lese- oder Schreibfehler gemeldet</translation>
    </message>
    <message>
        <source>it is neither a file nor a folder</source>
        <translation>Es ist weder eine Datei noch ein Ordner</translation>
    </message>
    <message>
        <source>an item with that name is in the way</source>
        <translation>Ein gleichnamiges Objekt ist im Weg</translation>
    </message>
    <message>
        <source>its name or path is too long</source>
        <translation>Sein Name oder Pfad ist zu lang</translation>
    </message>
    <message>
        <source>it is a link that leads nowhere</source>
        <translation>Es ist eine Verknüpfung, die ins Leere führt</translation>
    </message>
    <message>
        <source>a folder on its path is a file</source>
        <translation>Ein Ordner in seinem Pfad ist eine Datei</translation>
    </message>
    <message>
        <source>it is a folder</source>
        <translation>Es ist ein Ordner</translation>
    </message>
    <message>
        <source>it is too large</source>
        <translation>Es ist zu groß</translation>
    </message>
    <message>
        <source>too many files are open</source>
        <translation>Es sind zu viele Dateien geöffnet</translation>
    </message>
    <message>
        <source>the computer is out of memory</source>
        <translation>Der Arbeitsspeicher des Computers ist erschöpft</translation>
    </message>
    <message>
        <source>it is in use</source>
        <translation>Es wird gerade verwendet</translation>
    </message>
    <message>
        <source>the text or the link is not valid Unicode</source>
        <translation>Der Text oder der Link ist kein gültiges Unicode</translation>
    </message>
    <message>
        <source>the text is too long</source>
        <translation>Der Text ist zu lang</translation>
    </message>
    <message>
        <source>it holds too many files</source>
        <translation>Es enthält zu viele Dateien</translation>
    </message>
    <message>
        <source>the disk does not accept it</source>
        <translation>Der Datenträger nimmt es nicht an</translation>
    </message>
    <message>
        <source>something unexpected went wrong</source>
        <translation>Etwas Unerwartetes ist schiefgegangen</translation>
    </message>
    <message>
        <source>Could not save the share: %1.</source>
        <translation>Das Geteilte konnte nicht gespeichert werden: %1.</translation>
    </message>
    <message>
        <source>Could not copy “%1”: tovin&apos;s shared folder cannot be shared into itself.</source>
        <translation>„%1“ konnte nicht kopiert werden: Der gemeinsame tovin-Ordner kann nicht in sich selbst geteilt werden.</translation>
    </message>
    <message>
        <source>Could not save the share in tovin&apos;s shared folder: %1.</source>
        <translation>Speichern im gemeinsamen tovin-Ordner fehlgeschlagen: %1.</translation>
    </message>
    <message>
        <source>Could not copy “%1”: %2.</source>
        <translation>„%1“ konnte nicht kopiert werden: %2.</translation>
    </message>
    <message>
        <source>Could not save the share.</source>
        <translation>Das Geteilte konnte nicht gespeichert werden.</translation>
    </message>
    <message>
        <source>Could not take in everything that was shared: %1.</source>
        <translation>Nicht alles Geteilte konnte übernommen werden: %1.</translation>
    </message>
</context>
<context>
    <name>ShareCommandLine</name>
    <message>
        <source>tovin-share [--text TEXT] [--clipboard] [ITEM...]</source>
        <extracomment>The command line&apos;s form; TEXT and ITEM as the help names them</extracomment>
        <translation>tovin-share [--text TEXT] [--clipboard] [ELEMENT...]</translation>
    </message>
    <message>
        <source>tovin-share: %1
usage: %2
Try &apos;tovin-share --help&apos; for more.
</source>
        <translation>tovin-share: %1
Aufruf: %2
Weitere Informationen mit „tovin-share --help“.
</translation>
    </message>
    <message>
        <source>it cannot be read</source>
        <translation>Es kann nicht gelesen werden</translation>
    </message>
    <message>
        <source>Usage: %1</source>
        <translation>Aufruf: %1</translation>
    </message>
    <message>
        <source>
An ITEM that cannot be shared (gone, unreadable, or in a place such as sftp:
or smb: that is not a folder of this computer) is left out, and the sheet and
standard error say so. With nothing to share, the sheet says
&quot;Nothing to share.&quot; and Send queues the caption alone. Once the share is
queued, its id is printed on standard output.

Exit status: 0 when the share was queued, 1 when it was cancelled (Cancel,
Escape, or closing the window), 2 for a wrong command line or when there is
no display.
</source>
        <extracomment>After the options, in lines of no more than 80 columns; &quot;Nothing to share.&quot; as the sheet says it</extracomment>
        <translation>
Ein ELEMENT, das sich nicht teilen lässt (weil es fehlt, nicht lesbar ist oder
an einem Ort wie sftp: oder smb: liegt, der kein Ordner dieses Computers ist),
wird weggelassen, und das Fenster und die Standardfehlerausgabe sagen das. Gibt
es nichts zu teilen, zeigt das Fenster „Nichts zu teilen.“, und Senden reiht
nur den Begleittext ein. Sobald das Geteilte eingereiht ist, wird seine ID auf
der Standardausgabe ausgegeben.

Exit-Status: 0, wenn das Geteilte eingereiht wurde, 1, wenn es abgebrochen wurde
(Abbrechen, Esc oder Schließen des Fensters), 2 bei einer falschen Befehlszeile
oder wenn keine Anzeige vorhanden ist.
</translation>
    </message>
    <message>
        <source>“%1”</source>
        <extracomment>A text given to share, named by its opening words</extracomment>
        <translation>„%1“</translation>
    </message>
    <message>
        <source>Could not share “%1”: %2.</source>
        <translation>„%1“ kann nicht geteilt werden: %2.</translation>
    </message>
    <message>
        <source>it is at %1, not in a folder of this computer</source>
        <translation>Es liegt auf %1, nicht in einem Ordner dieses Computers</translation>
    </message>
    <message>
        <source>Shares text, links, images and files with one of your tovin chats: pick the
chat, add a caption if you like, and press Send. The share is queued for the
tovin application.</source>
        <extracomment>In lines of no more than 80 columns</extracomment>
        <translation>Teilt Texte, Links, Bilder und Dateien mit einem Ihrer tovin-Chats: Chat
auswählen, nach Wunsch einen Begleittext hinzufügen und Senden drücken. Das
Geteilte wird für die tovin-Anwendung eingereiht.</translation>
    </message>
    <message>
        <source>The text to share.</source>
        <translation>Der zu teilende Text.</translation>
    </message>
    <message>
        <source>TEXT</source>
        <extracomment>The value of --text, as the command line&apos;s form names it</extracomment>
        <translation>TEXT</translation>
    </message>
    <message>
        <source>Share what the clipboard holds too: an image, else its URLs, else its text.</source>
        <translation>Auch den Inhalt der Zwischenablage teilen: ein Bild, sonst ihre URLs, sonst ihren Text.</translation>
    </message>
    <message>
        <source>Show this help.</source>
        <translation>Diese Hilfe anzeigen.</translation>
    </message>
    <message>
        <source>Show the version.</source>
        <translation>Die Version anzeigen.</translation>
    </message>
    <message>
        <source>ITEM</source>
        <extracomment>One argument to share, as the command line&apos;s form names it</extracomment>
        <translation>ELEMENT</translation>
    </message>
    <message>
        <source>One attachment each, in order: a file or folder; a URL (a file: URL is a file); or - for standard input: an image (PNG, JPEG, GIF, WebP...), UTF-8 text, or else a file named after its type, such as shared.pdf.</source>
        <translation>Je ein Anhang, in dieser Reihenfolge: eine Datei oder ein Ordner; eine URL (eine file:-URL ist eine Datei); oder - für die Standardeingabe: ein Bild (PNG, JPEG, GIF, WebP …), UTF-8-Text oder sonst eine nach ihrem Typ benannte Datei, etwa shared.pdf.</translation>
    </message>
    <message>
        <source>[ITEM...]</source>
        <translation>[ELEMENT...]</translation>
    </message>
    <message>
        <source>--text can be given once</source>
        <translation>--text kann nur einmal angegeben werden</translation>
    </message>
    <message>
        <source>standard input (-) can be shared once</source>
        <translation>Standardeingabe (-) kann nur einmal geteilt werden</translation>
    </message>
    <message>
        <source>its name arrived garbled, and several files fit it</source>
        <translation>Sein Name kam verstümmelt an, und mehrere Dateien passen dazu</translation>
    </message>
</context>
<context>
    <name>TovinShare</name>
    <message>
        <source>the session bus does not answer: going on without it, so tovin is not signalled and screen readers cannot follow the sheet</source>
        <translation>der Sitzungsbus antwortet nicht: Es geht ohne ihn weiter, daher wird tovin nicht benachrichtigt und Bildschirmleser können dem Fenster nicht folgen</translation>
    </message>
</context>
<context>
    <name>tovin::ShareFlow</name>
    <message>
        <source>Could not reach tovin&apos;s shared folder.</source>
        <translation>Der gemeinsame tovin-Ordner ist nicht erreichbar.</translation>
    </message>
</context>
<context>
    <name>tovin::ShareSheetModel</name>
    <message>
        <source>Text: %1</source>
        <translation>Text: ⁨%1⁩</translation>
    </message>
    <message>
        <source>URL: %1</source>
        <translation>Link: ⁨%1⁩</translation>
    </message>
    <message numerus="yes">
        <source>%n image(s)</source>
        <translation>
            <numerusform>%Ln&#xa0;Bild</numerusform>
            <numerusform>%Ln&#xa0;Bilder</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s)</source>
        <translation>
            <numerusform>%Ln&#xa0;Datei</numerusform>
            <numerusform>%Ln&#xa0;Dateien</numerusform>
        </translation>
    </message>
    <message>
        <source>Nothing to share.</source>
        <translation>Nichts zu teilen.</translation>
    </message>
    <message>
        <source>Chat</source>
        <translation>Chat</translation>
    </message>
</context>
<context>
    <name>tovin::ShareViewController</name>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>Senden</translation>
    </message>
    <message>
        <source>Share with tovin</source>
        <translation>Mit tovin teilen</translation>
    </message>
    <message>
        <source>Search chats…</source>
        <translation>Chats durchsuchen …</translation>
    </message>
    <message>
        <source>Search chats</source>
        <translation>Chats durchsuchen</translation>
    </message>
    <message>
        <source>Chats</source>
        <translation>Chats</translation>
    </message>
    <message>
        <source>tovin has not shared its chats yet.</source>
        <translation>tovin hat seine Chats noch nicht bereitgestellt.</translation>
    </message>
    <message>
        <source>Add a caption…</source>
        <translation>Begleittext hinzufügen …</translation>
    </message>
    <message>
        <source>Add a caption</source>
        <translation>Begleittext hinzufügen</translation>
    </message>
    <message>
        <source>Sending</source>
        <translation>Wird gesendet</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <extracomment>Bytes written of all to write: 1.5 MB of 20 MB</extracomment>
        <translation>%1 von %2</translation>
    </message>
</context>
</TS>
