<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>LibraryActions</name>
    <message numerus="yes">
        <source>%n replay(s) %1</source>
        <translation>
            <numerusform>%n replay %1</numerusform>
            <numerusform>%n replays %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>, %n skipped</source>
        <translation>
            <numerusform>, %n skipped</numerusform>
            <numerusform>, %n skipped</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>and %n more</numerusform>
            <numerusform>and %n more</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>, %n failed: %1</source>
        <translation>
            <numerusform>, %n failed: %1</numerusform>
            <numerusform>, %n failed: %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Looking for duplicates among %n replay(s)…</source>
        <translation>
            <numerusform>Looking for duplicates among %n replay…</numerusform>
            <numerusform>Looking for duplicates among %n replays…</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n group(s) of duplicates found</source>
        <translation>
            <numerusform>%n group of duplicates found</numerusform>
            <numerusform>%n groups of duplicates found</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n path(s) copied</source>
        <translation>
            <numerusform>%n path copied</numerusform>
            <numerusform>%n paths copied</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n replay(s) exported to %1</source>
        <translation>
            <numerusform>%n replay exported to %1</numerusform>
            <numerusform>%n replays exported to %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Move %n replays to the trash?</source>
        <translation>
            <numerusform>Move %n replays to the trash?</numerusform>
            <numerusform>Move %n replays to the trash?</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n replay(s) already have a name taken in that folder.</source>
        <translation>
            <numerusform>%n replay has a name already taken in that folder.</numerusform>
            <numerusform>%n replays have names already taken in that folder.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Moving %n replay(s)…</source>
        <translation>
            <numerusform>Moving %n replay…</numerusform>
            <numerusform>Moving %n replays…</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Copying %n replay(s)…</source>
        <translation>
            <numerusform>Copying %n replay…</numerusform>
            <numerusform>Copying %n replays…</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>LibraryModel</name>
    <message numerus="yes">
        <source>%n of 5 stars</source>
        <translation>
            <numerusform>%n of 5 stars</numerusform>
            <numerusform>%n of 5 stars</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>LibraryPanel</name>
    <message numerus="yes">
        <source> (and %n more)</source>
        <translation>
            <numerusform> (and %n more)</numerusform>
            <numerusform> (and %n more)</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>NotesActions</name>
    <message numerus="yes">
        <source>Rate %n of 5</source>
        <translation>
            <numerusform>Rate %n of 5</numerusform>
            <numerusform>Rate %n of 5</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>NotesEditor</name>
    <message numerus="yes">
        <source>%n star(s)</source>
        <translation>
            <numerusform>%n star</numerusform>
            <numerusform>%n stars</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Rate %n of 5; again to take the rating away</source>
        <translation>
            <numerusform>Rate %n of 5; again to take the rating away</numerusform>
            <numerusform>Rate %n of 5; again to take the rating away</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Rated %n of 5</source>
        <translation>
            <numerusform>Rated %n of 5</numerusform>
            <numerusform>Rated %n of 5</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>PlayersView</name>
    <message numerus="yes">
        <source>%n game(s), %1 to %2</source>
        <translation>
            <numerusform>%n game, %1 to %2</numerusform>
            <numerusform>%n games, %1 to %2</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>The %n names are one person, known as:</source>
        <translation>
            <numerusform>The %n names are one person, known as:</numerusform>
            <numerusform>The %n names are one person, known as:</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>StatisticsView</name>
    <message numerus="yes">
        <source>%1 against %2: %n game(s)</source>
        <translation>
            <numerusform>%1 against %2: %n game</numerusform>
            <numerusform>%1 against %2: %n games</numerusform>
        </translation>
    </message>
</context>
</TS>
