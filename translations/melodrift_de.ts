<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>BrowserView</name>
    <message>
        <source>Check your internet connection!</source>
        <translation>Überprüfen Sie Ihre Internetverbindung!</translation>
    </message>
    <message>
        <source>Try again</source>
        <translation>Erneut versuchen</translation>
    </message>
</context>
<context>
    <name>Dialog</name>
    <message>
        <source>Http authentication required</source>
        <translation>HTTP-Authentifizierung erforderlich</translation>
    </message>
    <message>
        <source>You need to supply a Username and a Password to access this site</source>
        <translation>Für den Zugriff auf diese Seite sind ein Benutzername und ein Passwort erforderlich</translation>
    </message>
    <message>
        <source>Username:</source>
        <translation>Benutzername:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Passwort:</translation>
    </message>
    <message>
        <source>Site:</source>
        <translation>Seite:</translation>
    </message>
    <message>
        <source>%1 at %2</source>
        <translation>%1 auf %2</translation>
    </message>
    <message>
        <source>User name</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Shown as it is typed</source>
        <translation>Wird beim Tippen im Klartext angezeigt</translation>
    </message>
</context>
<context>
    <name>HttpWindow</name>
    <message>
        <source>&amp;URL:</source>
        <translation>&amp;URL:</translation>
    </message>
    <message>
        <source>Please enter the URL of a file you want to download.</source>
        <translation>Bitte geben Sie die URL der Datei ein, die Sie herunterladen möchten.</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>HTTP</source>
        <translation>HTTP</translation>
    </message>
    <message>
        <source>Unable to save the file %1: %2.</source>
        <translation>Die Datei %1 kann nicht gespeichert werden: %2.</translation>
    </message>
    <message>
        <source>Download failed: %1.</source>
        <translation>Herunterladen fehlgeschlagen: %1.</translation>
    </message>
    <message>
        <source>only http and https addresses can be downloaded, not &quot;%1&quot;</source>
        <translation>nur HTTP- und HTTPS-Adressen können heruntergeladen werden, nicht „%1“</translation>
    </message>
    <message>
        <source>There already exists a file called %1 in the current directory. Overwrite?</source>
        <translation>Im aktuellen Verzeichnis gibt es bereits eine Datei namens %1. Überschreiben?</translation>
    </message>
    <message>
        <source>Download canceled.</source>
        <translation>Herunterladen abgebrochen.</translation>
    </message>
    <message>
        <source>Redirect to %1 ?</source>
        <translation>Weiterleiten zu %1 ?</translation>
    </message>
    <message>
        <source>%1 at %2</source>
        <translation>%1 auf %2</translation>
    </message>
    <message>
        <source>One or more SSL errors has occurred: %1</source>
        <translation>Mindestens ein SSL-Fehler ist aufgetreten: %1</translation>
    </message>
    <message>
        <source>Downloaded %1 to current directory.</source>
        <translation>%1 wurde in das aktuelle Verzeichnis heruntergeladen.</translation>
    </message>
    <message>
        <source>the server redirected to &quot;%1&quot;, which is not an http or https address</source>
        <translation>der Server hat zu „%1“ weitergeleitet, das ist keine HTTP- oder HTTPS-Adresse</translation>
    </message>
    <message>
        <source>the name holds a NUL character</source>
        <translation>der Name enthält ein NUL-Zeichen</translation>
    </message>
    <message>
        <source>the name is an absolute path outside the download folder</source>
        <translation>der Name ist ein absoluter Pfad außerhalb des Download-Ordners</translation>
    </message>
    <message>
        <source>the name leads out of the download folder with &quot;..&quot;</source>
        <translation>der Name führt mit „..“ aus dem Download-Ordner heraus</translation>
    </message>
    <message>
        <source>the name does not name a file inside the download folder</source>
        <translation>der Name bezeichnet keine Datei im Download-Ordner</translation>
    </message>
    <message>
        <source>the name holds a hidden file or folder (a part that begins with &quot;.&quot;)</source>
        <translation>der Name enthält eine versteckte Datei oder einen versteckten Ordner (einen Teil, der mit &quot;.&quot; beginnt)</translation>
    </message>
    <message>
        <source>the name holds a line break, a control character or one that turns the direction of text</source>
        <translation>der Name enthält einen Zeilenumbruch, ein Steuerzeichen oder ein Zeichen, das die Schreibrichtung umkehrt</translation>
    </message>
    <message>
        <source>the name is a symbolic link, which could lead anywhere</source>
        <translation>der Name ist eine symbolische Verknüpfung, die überallhin führen könnte</translation>
    </message>
    <message>
        <source>a folder on the way is a symbolic link that leads out of the download folder</source>
        <translation>ein Ordner auf dem Weg ist eine symbolische Verknüpfung, die aus dem Download-Ordner herausführt</translation>
    </message>
    <message>
        <source>the connection closed before the whole file had arrived</source>
        <translation>die Verbindung wurde geschlossen, bevor die ganze Datei angekommen war</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Fortschritt des Herunterladens</translation>
    </message>
    <message>
        <source>Downloads all the same: the server may not be the one it claims to be</source>
        <translation>Trotzdem herunterladen: Der Server ist vielleicht nicht der, der er zu sein vorgibt</translation>
    </message>
    <message>
        <source>Stops the download</source>
        <translation>Bricht das Herunterladen ab</translation>
    </message>
</context>
<context>
    <name>MediaPlayer</name>
    <message>
        <source>Media Player</source>
        <translation>Medienspieler</translation>
    </message>
    <message>
        <source>&lt;center&gt;No media&lt;/center&gt;</source>
        <translation>&lt;center&gt;Keine Medien&lt;/center&gt;</translation>
    </message>
    <message>
        <source>&amp;Aspect ratio</source>
        <translation>&amp;Seitenverhältnis</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>Automatisch</translation>
    </message>
    <message>
        <source>Scale</source>
        <translation>Skalieren</translation>
    </message>
    <message>
        <source>16/9</source>
        <translation>16:9</translation>
    </message>
    <message>
        <source>4/3</source>
        <translation>4:3</translation>
    </message>
    <message>
        <source>&amp;Scale mode</source>
        <translation>S&amp;kalierungsmodus</translation>
    </message>
    <message>
        <source>Fit in view</source>
        <translation>In Ansicht einpassen</translation>
    </message>
    <message>
        <source>Scale and crop</source>
        <translation>Skalieren und zuschneiden</translation>
    </message>
    <message>
        <source>Full screen video</source>
        <translation>Video im Vollbild</translation>
    </message>
    <message>
        <source>&amp;Settings...</source>
        <translation>&amp;Einstellungen...</translation>
    </message>
    <message>
        <source>The location %1 could not be played.</source>
        <translation>Die Adresse %1 konnte nicht abgespielt werden.</translation>
    </message>
    <message>
        <source>Open Location</source>
        <translation>Adresse öffnen</translation>
    </message>
    <message>
        <source>Please enter a valid address here:</source>
        <translation>Bitte geben Sie hier eine gültige Adresse ein:</translation>
    </message>
    <message>
        <source>&lt;no effect&gt;</source>
        <translation>&lt;kein Effekt&gt;</translation>
    </message>
    <message>
        <source>Configure effect</source>
        <translation>Effekt einrichten</translation>
    </message>
    <message>
        <source>Description:</source>
        <translation>Beschreibung:</translation>
    </message>
    <message>
        <source>Title: </source>
        <translation>Titel: </translation>
    </message>
    <message>
        <source>Url: </source>
        <translation>URL: </translation>
    </message>
    <message>
        <source>File: </source>
        <translation>Datei: </translation>
    </message>
    <message>
        <source>Artist:  </source>
        <translation>Interpret:  </translation>
    </message>
    <message>
        <source>Bitrate:  </source>
        <translation>Bitrate:  </translation>
    </message>
    <message>
        <source>Message:  </source>
        <translation>Meldung:  </translation>
    </message>
    <message>
        <source>Rewind</source>
        <translation>Zurückspulen</translation>
    </message>
    <message>
        <source>Goes back to the start</source>
        <translation>Springt an den Anfang zurück</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Stops playing, and the chart goes on to its next item</source>
        <translation>Beendet die Wiedergabe; die Hitliste geht zum nächsten Eintrag weiter</translation>
    </message>
    <message>
        <source>Next in queue</source>
        <translation>Nächster in der Warteschlange</translation>
    </message>
    <message>
        <source>Plays the next of the files opened or dropped</source>
        <translation>Spielt die nächste der geöffneten oder abgelegten Dateien</translation>
    </message>
    <message>
        <source>Position</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>Where the media stand; the arrow keys move them 5 seconds</source>
        <translation>Wo die Wiedergabe steht; die Pfeiltasten springen 5 Sekunden</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Lautstärke</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>Stumm</translation>
    </message>
    <message>
        <source>Turns the sound off or on again</source>
        <translation>Schaltet den Ton aus oder wieder ein</translation>
    </message>
    <message>
        <source>What is playing</source>
        <translation>Was gerade läuft</translation>
    </message>
    <message>
        <source>Time played and length</source>
        <translation>Gespielte Zeit und Länge</translation>
    </message>
    <message>
        <source>How much is loaded</source>
        <translation>Wie viel geladen ist</translation>
    </message>
    <message>
        <source>Video</source>
        <translation>Video</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>Plays or pauses the media; Space does the same</source>
        <translation>Spielt ab oder hält an; die Leertaste tut dasselbe</translation>
    </message>
</context>
<context>
    <name>TrayIcon</name>
    <message>
        <source>&amp;Next</source>
        <translation>&amp;Nächster Titel</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Hide Melodrift</source>
        <translation>Melodrift &amp;ausblenden</translation>
    </message>
    <message>
        <source>&amp;Show Melodrift</source>
        <translation>Melodrift &amp;anzeigen</translation>
    </message>
    <message>
        <source>&amp;Pause</source>
        <translation>&amp;Pause</translation>
    </message>
    <message>
        <source>&amp;Play</source>
        <translation>Ab&amp;spielen</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Melodrift plays one address at a time, not %1.</source>
        <translation>Melodrift spielt immer nur eine Adresse ab, nicht %1.</translation>
    </message>
    <message>
        <source>Melodrift plays only http and https addresses, not &quot;%1&quot;.</source>
        <translation>Melodrift spielt nur HTTP- und HTTPS-Adressen ab, nicht „%1“.</translation>
    </message>
    <message>
        <source>An http or https address of a song or video to play, in the Melodrift already running if there is one.</source>
        <translation>Eine HTTP- oder HTTPS-Adresse eines Liedes oder Videos zum Abspielen, im bereits laufenden Melodrift, falls es eines gibt.</translation>
    </message>
    <message>
        <source>Melodrift is running but did not answer: %1</source>
        <translation>Melodrift läuft, hat aber nicht geantwortet: %1</translation>
    </message>
</context>
<context>
    <name>settings</name>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Video options:</source>
        <translation>Videooptionen:</translation>
    </message>
    <message>
        <source>Fit in view</source>
        <translation>In Ansicht einpassen</translation>
    </message>
    <message>
        <source>Scale and crop</source>
        <translation>Skalieren und zuschneiden</translation>
    </message>
    <message>
        <source>Contrast:</source>
        <translation>Kontrast:</translation>
    </message>
    <message>
        <source>Brightness:</source>
        <translation>Helligkeit:</translation>
    </message>
    <message>
        <source>Saturation:</source>
        <translation>Sättigung:</translation>
    </message>
    <message>
        <source>Hue:</source>
        <translation>Farbton:</translation>
    </message>
    <message>
        <source>Aspect ratio:</source>
        <translation>Seitenverhältnis:</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>Automatisch</translation>
    </message>
    <message>
        <source>Stretch</source>
        <translation>Strecken</translation>
    </message>
    <message>
        <source>4/3</source>
        <translation>4:3</translation>
    </message>
    <message>
        <source>16/9</source>
        <translation>16:9</translation>
    </message>
    <message>
        <source>Scale Mode:</source>
        <translation>Skalierungsmodus:</translation>
    </message>
    <message>
        <source>Audio options:</source>
        <translation>Audiooptionen:</translation>
    </message>
    <message>
        <source>Audio device:</source>
        <translation>Audiogerät:</translation>
    </message>
    <message>
        <source>Audio effect:</source>
        <translation>Audioeffekt:</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>Einrichten</translation>
    </message>
    <message>
        <source>Cross fade:</source>
        <translation>Überblendung:</translation>
    </message>
    <message>
        <source>-10 Sec</source>
        <translation>-10 s</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>10 Sec </source>
        <translation>10 s </translation>
    </message>
    <message>
        <source>Notify when a new song starts</source>
        <translation>Benachrichtigen, wenn ein neues Lied beginnt</translation>
    </message>
    <message>
        <source>Keep running in the tray when the window is closed</source>
        <translation>Im Infobereich weiterlaufen, wenn das Fenster geschlossen wird</translation>
    </message>
    <message>
        <source>Scale mode</source>
        <translation>Skalierungsmodus</translation>
    </message>
    <message>
        <source>Contrast</source>
        <translation>Kontrast</translation>
    </message>
    <message>
        <source>Brightness</source>
        <translation>Helligkeit</translation>
    </message>
    <message>
        <source>Saturation</source>
        <translation>Sättigung</translation>
    </message>
    <message>
        <source>Hue</source>
        <translation>Farbton</translation>
    </message>
    <message>
        <source>Aspect ratio</source>
        <translation>Seitenverhältnis</translation>
    </message>
    <message>
        <source>Audio device</source>
        <translation>Audiogerät</translation>
    </message>
    <message>
        <source>Audio effect</source>
        <translation>Audioeffekt</translation>
    </message>
    <message>
        <source>Sets up the chosen audio effect</source>
        <translation>Richtet den gewählten Audioeffekt ein</translation>
    </message>
    <message>
        <source>Cross fade</source>
        <translation>Überblendung</translation>
    </message>
    <message>
        <source>Overlap between songs (left, up to 10 seconds) or pause (right, up to 10 seconds)</source>
        <translation>Überlappung zwischen Liedern (links, bis zu 10 Sekunden) oder Pause (rechts, bis zu 10 Sekunden)</translation>
    </message>
    <message>
        <source>Where the desktop shows a tray; otherwise closing the window ends Melodrift</source>
        <translation>Wo die Arbeitsfläche einen Infobereich zeigt; sonst beendet das Schließen des Fensters Melodrift</translation>
    </message>
</context>
</TS>
