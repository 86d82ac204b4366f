<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>Lorvanel</name>
    <message>
        <source>Lorvanel</source>
        <translation>Lorvanel</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>设置…</translation>
    </message>
    <message>
        <source>Transfer settings</source>
        <translation>传输设置</translation>
    </message>
    <message>
        <source>Select an iPod in the sidebar.</source>
        <translation>在边栏中选择一台 iPod。</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1（%2）</translation>
    </message>
    <message>
        <source>iPod touch</source>
        <translation>iPod touch</translation>
    </message>
    <message>
        <source>iPad Air</source>
        <translation>iPad Air</translation>
    </message>
    <message>
        <source>1st generation</source>
        <translation>第 1 代</translation>
    </message>
    <message>
        <source>2nd generation</source>
        <translation>第 2 代</translation>
    </message>
    <message>
        <source>3rd generation</source>
        <translation>第 3 代</translation>
    </message>
    <message>
        <source>4th generation</source>
        <translation>第 4 代</translation>
    </message>
    <message>
        <source>5th generation</source>
        <translation>第 5 代</translation>
    </message>
    <message>
        <source>6th generation</source>
        <translation>第 6 代</translation>
    </message>
    <message>
        <source>7th generation</source>
        <translation>第 7 代</translation>
    </message>
    <message>
        <source>The iPod was disconnected.</source>
        <translation>iPod 已断开连接。</translation>
    </message>
</context>
</TS>
