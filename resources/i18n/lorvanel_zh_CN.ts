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
        <source>Could not play this track. Check that its audio file is available on the iPod.</source>
        <translation>无法播放这首歌曲。请检查其音频文件是否仍在 iPod 上。</translation>
    </message>
    <message>
        <source>Could not eject %1.
%2</source>
        <translation>无法推出“%1”。
%2</translation>
    </message>
    <message>
        <source>The volume is no longer mounted.</source>
        <translation>该宗卷已不再装载。</translation>
    </message>
    <message>
        <source>The volume is in use. Close the files open on it and try again.</source>
        <translation>该宗卷正在使用中。请关闭其上打开的文件后重试。</translation>
    </message>
    <message>
        <source>You do not have permission to eject this volume.</source>
        <translation>你没有推出该宗卷的权限。</translation>
    </message>
    <message>
        <source>Its data could not be written to the device: %1</source>
        <translation>无法将其数据写入设备：%1</translation>
    </message>
    <message>
        <source>The volume could not be unmounted: %1</source>
        <translation>无法卸载该宗卷：%1</translation>
    </message>
    <message>
        <source>The disk service refused: %1</source>
        <translation>磁盘服务拒绝了请求：%1</translation>
    </message>
</context>
</TS>
