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
        <source>%1 byte</source>
        <translation>%1 字节</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 字节</translation>
    </message>
    <message>
        <source>%1 used</source>
        <translation>已使用 %1</translation>
    </message>
    <message>
        <source>%1%</source>
        <translation>%1%</translation>
    </message>
    <message>
        <source>Available space: %1</source>
        <translation>可用空间：%1</translation>
    </message>
    <message>
        <source>Battery</source>
        <translation>电池</translation>
    </message>
    <message>
        <source>Battery: %1%, %2</source>
        <translation>电池：%1%，%2</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Capacity</source>
        <translation>容量</translation>
    </message>
    <message>
        <source>Charging</source>
        <translation>正在充电</translation>
    </message>
    <message>
        <source>Delete songs from iPod?</source>
        <translation>要从 iPod 删除歌曲吗？</translation>
    </message>
    <message>
        <source>Delete the selected tracks (%1) from %2.</source>
        <translation>从“%2”删除所选的 %1 首歌曲。</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>Eject %1 before disconnecting it?</source>
        <translation>断开连接前要推出“%1”吗？</translation>
    </message>
    <message>
        <source>Eject iPod?</source>
        <translation>要推出 iPod 吗？</translation>
    </message>
    <message>
        <source>Eject</source>
        <translation>推出</translation>
    </message>
    <message>
        <source>Fully charged</source>
        <translation>已充满</translation>
    </message>
    <message>
        <source>Not charging</source>
        <translation>未在充电</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>好</translation>
    </message>
    <message>
        <source>Playback mode: In order</source>
        <translation>播放模式：顺序</translation>
    </message>
    <message>
        <source>Playback mode: Shuffle</source>
        <translation>播放模式：随机</translation>
    </message>
    <message>
        <source>Software Version %1</source>
        <translation>软件版本 %1</translation>
    </message>
    <message>
        <source>Storage</source>
        <translation>存储空间</translation>
    </message>
    <message>
        <source>Zero KB</source>
        <translation>零 KB</translation>
    </message>
</context>
</TS>
