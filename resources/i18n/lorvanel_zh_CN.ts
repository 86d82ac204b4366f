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
        <source>unknown</source>
        <translation>未知</translation>
    </message>
    <message>
        <source>list</source>
        <translation>列表</translation>
    </message>
    <message>
        <source>scroll bar</source>
        <translation>滚动条</translation>
    </message>
    <message>
        <source>value indicator</source>
        <translation>数值指示器</translation>
    </message>
    <message>
        <source>scroll area</source>
        <translation>滚动区域</translation>
    </message>
</context>
</TS>
