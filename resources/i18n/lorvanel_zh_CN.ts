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
        <source>Editing is disabled because the iPod model or database compatibility could not be verified.</source>
        <translation>由于无法验证 iPod 型号或数据库兼容性，编辑已停用。</translation>
    </message>
    <message>
        <source>This iPod volume is mounted read-only.</source>
        <translation>此 iPod 宗卷以只读方式装载。</translation>
    </message>
    <message>
        <source>Provide an MP3 or AAC (.m4a) file with a valid duration that has been copied to the iPod music folder.</source>
        <translation>请提供已拷贝到 iPod 音乐文件夹、时长有效的 MP3 或 AAC（.m4a）文件。</translation>
    </message>
    <message>
        <source>The selected tracks could not be found in the current library. Reselect them and try again.</source>
        <translation>在当前资料库中找不到所选歌曲。请重新选择后再试。</translation>
    </message>
    <message>
        <source>The selected tracks contain audio paths that cannot be safely deleted.</source>
        <translation>所选歌曲包含无法安全删除的音频路径。</translation>
    </message>
</context>
</TS>
