<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>HistoryWindow</name>
    <message numerus="yes">
        <source>%n reading(s), %1</source>
        <translation>
            <numerusform>%n reading, %1</numerusform>
            <numerusform>%n readings, %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n reset(s)</source>
        <translation>
            <numerusform>%n reset</numerusform>
            <numerusform>%n resets</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>QuotamindWidget</name>
    <message numerus="yes">
        <source>%Ln day(s) ago</source>
        <translation>
            <numerusform>%Ln day ago</numerusform>
            <numerusform>%Ln days ago</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln hour(s) ago</source>
        <translation>
            <numerusform>%Ln hour ago</numerusform>
            <numerusform>%Ln hours ago</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln minute(s) ago</source>
        <translation>
            <numerusform>%Ln minute ago</numerusform>
            <numerusform>%Ln minutes ago</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln second(s) ago</source>
        <translation>
            <numerusform>%Ln second ago</numerusform>
            <numerusform>%Ln seconds ago</numerusform>
        </translation>
    </message>
</context>
</TS>
