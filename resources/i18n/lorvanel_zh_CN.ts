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
        <source>The library could not be saved. Copied files are still on the device. Reconnect it and check the library.
%1</source>
        <translation>无法保存资料库。已复制的文件仍在设备上。请重新连接设备并检查资料库。
%1</translation>
    </message>
    <message>
        <source>The iPod was disconnected.</source>
        <translation>iPod 已断开连接。</translation>
    </message>
    <message>
        <source>The audio could not be read, or the file format is unsupported.</source>
        <translation>无法读取音频，或文件格式不受支持。</translation>
    </message>
    <message>
        <source>Nano 5 test import supports 44.1 kHz MP3 files.</source>
        <translation>Nano 5 测试导入支持 44.1 kHz 的 MP3 文件。</translation>
    </message>
    <message>
        <source>No supported audio files were found in the selected folders.</source>
        <translation>在所选文件夹中未找到受支持的音频文件。</translation>
    </message>
    <message>
        <source>The audio could not be converted to AAC.</source>
        <translation>无法将音频转换为 AAC。</translation>
    </message>
    <message>
        <source>The original artwork could not be read.</source>
        <translation>无法读取原始插图。</translation>
    </message>
    <message>
        <source>Could not embed artwork in the exported file.</source>
        <translation>无法在导出的文件中嵌入插图。</translation>
    </message>
    <message>
        <source>This WAV cannot be exported as a lossless M4A.</source>
        <translation>此 WAV 无法导出为无损 M4A。</translation>
    </message>
    <message>
        <source>Provide an MP3 or AAC (.m4a) file with a valid duration that has been copied to the iPod music folder.</source>
        <translation>请提供已复制到 iPod 音乐文件夹、时长有效的 MP3 或 AAC (.m4a) 文件。</translation>
    </message>
    <message>
        <source>Skipped identical file</source>
        <translation>已跳过相同的文件</translation>
    </message>
    <message>
        <source>Preparing audio</source>
        <translation>正在准备音频</translation>
    </message>
    <message>
        <source>Converting audio</source>
        <translation>正在转换音频</translation>
    </message>
    <message>
        <source>Copying</source>
        <translation>正在复制</translation>
    </message>
    <message>
        <source>Saving library</source>
        <translation>正在保存资料库</translation>
    </message>
    <message>
        <source>Exporting songs</source>
        <translation>正在导出歌曲</translation>
    </message>
    <message>
        <source>The operation was cancelled.</source>
        <translation>操作已取消。</translation>
    </message>
    <message>
        <source>The audio file could not be opened.</source>
        <translation>无法打开音频文件。</translation>
    </message>
    <message>
        <source>The file holds no audio.</source>
        <translation>该文件不含音频。</translation>
    </message>
    <message>
        <source>The audio coding is not supported.</source>
        <translation>不支持该音频编码。</translation>
    </message>
    <message>
        <source>The audio could not be decoded.</source>
        <translation>无法解码音频。</translation>
    </message>
    <message>
        <source>The audio could not be written.</source>
        <translation>无法写入音频。</translation>
    </message>
</context>
</TS>
