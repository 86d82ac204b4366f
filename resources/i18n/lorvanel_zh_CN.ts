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
    <message>
        <source>White</source>
        <translation>白色</translation>
    </message>
    <message>
        <source>Silver</source>
        <translation>银色</translation>
    </message>
    <message>
        <source>Dark Gray</source>
        <translation>深灰色</translation>
    </message>
    <message>
        <source>Black</source>
        <translation>黑色</translation>
    </message>
    <message>
        <source>Blue</source>
        <translation>蓝色</translation>
    </message>
    <message>
        <source>Green</source>
        <translation>绿色</translation>
    </message>
    <message>
        <source>Orange</source>
        <translation>橙色</translation>
    </message>
    <message>
        <source>Yellow</source>
        <translation>黄色</translation>
    </message>
    <message>
        <source>Pink</source>
        <translation>粉色</translation>
    </message>
    <message>
        <source>Purple</source>
        <translation>紫色</translation>
    </message>
    <message>
        <source>Red</source>
        <translation>红色</translation>
    </message>
    <message>
        <source>About 241,000 units sold by June 2002</source>
        <translation>截至 2002 年 6 月售出约 24.1 万台</translation>
    </message>
    <message>
        <source>About 10 million units sold</source>
        <translation>售出约 1000 万台</translation>
    </message>
    <message>
        <source>Nov 2001</source>
        <translation>2001 年 11 月</translation>
    </message>
    <message>
        <source>Jan 2005</source>
        <translation>2005 年 1 月</translation>
    </message>
    <message>
        <source>Sep 2005</source>
        <translation>2005 年 9 月</translation>
    </message>
    <message>
        <source>2007–2014 classic models: estimated sales of 50–60M</source>
        <translation>2007–2014 年 classic 机型：估计销量 5000–6000 万台</translation>
    </message>
    <message>
        <source>Estimated sales: 28–34M</source>
        <translation>估计销量：2800–3400 万台</translation>
    </message>
    <message>
        <source>Over 100M units known sold</source>
        <translation>已知销量超过 1 亿台</translation>
    </message>
    <message>
        <source>Artists</source>
        <translation>艺人</translation>
    </message>
    <message>
        <source>Albums</source>
        <translation>专辑</translation>
    </message>
    <message>
        <source>Genres</source>
        <translation>类型</translation>
    </message>
    <message>
        <source>Unknown iPod</source>
        <translation>未知 iPod</translation>
    </message>
    <message>
        <source>Unknown Artist</source>
        <translation>未知艺人</translation>
    </message>
    <message>
        <source>Unknown Album</source>
        <translation>未知专辑</translation>
    </message>
    <message>
        <source>Unknown Genre</source>
        <translation>未知类型</translation>
    </message>
    <message>
        <source>Read library</source>
        <translation>读取资料库</translation>
    </message>
    <message>
        <source>%1 failed: %2</source>
        <translation>%1失败：%2</translation>
    </message>
    <message>
        <source>libgpod returned no error details.</source>
        <translation>libgpod 未返回错误详情。</translation>
    </message>
    <message>
        <source>Editing is disabled because the iPod model or database compatibility could not be verified.</source>
        <translation>无法验证 iPod 型号或数据库兼容性，因此已停用编辑。</translation>
    </message>
    <message>
        <source>A valid FireWire ID is missing. Obtain the SysInfo or SysInfoExtended file from this iPod, then reconnect it.</source>
        <translation>缺少有效的 FireWire ID。请获取这台 iPod 的 SysInfo 或 SysInfoExtended 文件，然后重新连接。</translation>
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
        <translation>在当前资料库中找不到所选曲目。请重新选择后再试。</translation>
    </message>
    <message>
        <source>The selected genre is no longer in this iPod’s music library.</source>
        <translation>所选类型已不在这台 iPod 的音乐资料库中。</translation>
    </message>
    <message>
        <source>This playlist is no longer on the iPod.</source>
        <translation>此播放列表已不在 iPod 上。</translation>
    </message>
    <message>
        <source>The selected tracks contain audio paths that cannot be safely deleted.</source>
        <translation>所选曲目包含无法安全删除的音频路径。</translation>
    </message>
    <message>
        <source>This second-generation iPod shuffle has no resume record for the current library. Safely eject it, play and pause a song on the shuffle, then reconnect it and try again.</source>
        <translation>这台第二代 iPod shuffle 没有当前资料库的续播记录。请安全推出，在 shuffle 上播放并暂停一首歌曲，然后重新连接再试。</translation>
    </message>
    <message>
        <source>The iPod database is missing its main playlist.</source>
        <translation>iPod 数据库缺少主播放列表。</translation>
    </message>
    <message>
        <source>An iPod library with no tracks cannot be saved. Keep at least one track on the iPod, or add music before creating a playlist.</source>
        <translation>没有曲目的 iPod 资料库无法保存。请在 iPod 上至少保留一首曲目，或先添加音乐再创建播放列表。</translation>
    </message>
    <message>
        <source>iPod classic</source>
        <translation>iPod classic</translation>
    </message>
    <message>
        <source>iPod %1 (%2)</source>
        <translation>iPod %1（%2）</translation>
    </message>
    <message>
        <source>The iTunesCDB file is damaged.</source>
        <translation>iTunesCDB 文件已损坏。</translation>
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
    <message>
        <source>The library could not be saved. Copied files are still on the device. Reconnect it and check the library.
%1</source>
        <translation>无法保存资料库。已复制的文件仍在设备上。请重新连接设备并检查资料库。
%1</translation>
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
    <message>
        <source>Create playlist</source>
        <translation>创建播放列表</translation>
    </message>
    <message>
        <source>Save library</source>
        <translation>保存资料库</translation>
    </message>
    <message>
        <source>Register copied file</source>
        <translation>登记已复制的文件</translation>
    </message>
    <message>
        <source>Select music folder</source>
        <translation>选择音乐文件夹</translation>
    </message>
    <message>
        <source>Choose an export folder outside the iPod.</source>
        <translation>请选择 iPod 以外的导出文件夹。</translation>
    </message>
    <message>
        <source>Eject %1</source>
        <translation>推出“%1”</translation>
    </message>
    <message>
        <source>Classic iPod Sync</source>
        <translation>经典 iPod 同步</translation>
    </message>
    <message>
        <source>iPod Series</source>
        <translation>iPod 系列</translation>
    </message>
    <message>
        <source>Devices</source>
        <translation>设备</translation>
    </message>
    <message>
        <source>Waiting for a USB connection…</source>
        <translation>正在等待 USB 连接…</translation>
    </message>
    <message>
        <source>Disk not mounted</source>
        <translation>磁盘未装载</translation>
    </message>
    <message>
        <source>1. In your file manager, select this iPod under Devices to mount its disk.</source>
        <translation>1. 在文件管理器中，于“设备”下选择这台 iPod，以装载它的磁盘。</translation>
    </message>
    <message>
        <source>2. If the iPod is not listed, disconnect it and connect it directly to this computer, without a hub.</source>
        <translation>2. 如果列表中没有这台 iPod，请断开它，再不经集线器直接连接到这台电脑。</translation>
    </message>
    <message>
        <source>Lorvanel opens the library as soon as the disk is mounted.</source>
        <translation>磁盘一经装载，Lorvanel 就会打开资料库。</translation>
    </message>
    <message>
        <source>Open File Manager</source>
        <translation>打开文件管理器</translation>
    </message>
    <message>
        <source>Working with iPod…</source>
        <translation>正在处理 iPod…</translation>
    </message>
    <message>
        <source>Could not read dropped items (%1).</source>
        <translation>无法读取拖入的项目（%1 个）。</translation>
    </message>
    <message>
        <source>%1
Additional failures: %2.</source>
        <translation>%1
其他失败项：%2 个。</translation>
    </message>
    <message>
        <source>The dropped files could not be read.</source>
        <translation>无法读取拖入的文件。</translation>
    </message>
    <message>
        <source>The selected iPod is no longer available for import.</source>
        <translation>所选 iPod 已无法用于导入。</translation>
    </message>
    <message>
        <source>The selected iPod is no longer available for export.</source>
        <translation>所选 iPod 已无法用于导出。</translation>
    </message>
    <message>
        <source>Songs exported.</source>
        <translation>歌曲已导出。</translation>
    </message>
    <message>
        <source>The library was updated, but the audio file %1 could not be removed.</source>
        <translation>资料库已更新，但无法删除音频文件 %1。</translation>
    </message>
    <message>
        <source>An unknown error occurred.</source>
        <translation>发生未知错误。</translation>
    </message>
    <message>
        <source>%1 Lineup (%2 generations)</source>
        <translation>%1 产品线（%2 代）</translation>
    </message>
    <message>
        <source>%1 generations · First sold %2 · Discontinued %3 · %4</source>
        <translation>共 %1 代 · 首次发售于 %2 · %3 年停产 · %4</translation>
    </message>
    <message>
        <source>%1 · %2</source>
        <translation>%1 · %2</translation>
    </message>
    <message>
        <source>All %1 generations</source>
        <translation>全部 %1 代</translation>
    </message>
    <message>
        <source>Collapse</source>
        <translation>收起</translation>
    </message>
    <message>
        <source>Colors</source>
        <translation>颜色</translation>
    </message>
    <message>
        <source>Connect a supported %1 via USB, then drag songs into the track list.</source>
        <translation>通过 USB 连接受支持的 %1，然后将歌曲拖入曲目列表。</translation>
    </message>
    <message>
        <source>Connect via USB to browse the library.</source>
        <translation>通过 USB 连接即可浏览资料库。</translation>
    </message>
    <message>
        <source>Connect your iPod</source>
        <translation>连接你的 iPod</translation>
    </message>
    <message>
        <source>Connect your iPod to this computer with its USB cable. The library opens automatically when Lorvanel detects the device.</source>
        <translation>用 USB 线将 iPod 连接到这台电脑。Lorvanel 检测到设备后会自动打开资料库。</translation>
    </message>
    <message>
        <source>Copy Image and Open X</source>
        <translation>拷贝图片并打开 X</translation>
    </message>
    <message>
        <source>Couldn’t copy the device image.</source>
        <translation>无法拷贝设备图片。</translation>
    </message>
    <message>
        <source>Couldn’t create the device image.</source>
        <translation>无法生成设备图片。</translation>
    </message>
    <message>
        <source>Data source · Wikipedia</source>
        <translation>数据来源 · 维基百科</translation>
    </message>
    <message>
        <source>Device Setup</source>
        <translation>设备设置</translation>
    </message>
    <message>
        <source>Discontinued: %1</source>
        <translation>停产：%1</translation>
    </message>
    <message>
        <source>Engraving</source>
        <translation>镌刻文字</translation>
    </message>
    <message>
        <source>Gen %1 · %2</source>
        <translation>第 %1 代 · %2</translation>
    </message>
    <message>
        <source>Generations</source>
        <translation>各代机型</translation>
    </message>
    <message>
        <source>Hide generations</source>
        <translation>隐藏各代机型</translation>
    </message>
    <message>
        <source>Image copied. Open X in your browser to paste it.</source>
        <translation>图片已拷贝。请在浏览器中打开 X 并粘贴。</translation>
    </message>
    <message>
        <source>Image copied. Paste it into the X post with Ctrl+V.</source>
        <translation>图片已拷贝。按 Ctrl+V 将其粘贴到 X 帖子中。</translation>
    </message>
    <message>
        <source>Manage iPod music on your computer</source>
        <translation>在电脑上管理 iPod 音乐</translation>
    </message>
    <message>
        <source>Not yet supported</source>
        <translation>暂不支持</translation>
    </message>
    <message>
        <source>PNG Image (*.png)</source>
        <translation>PNG 图像 (*.png)</translation>
    </message>
    <message>
        <source>Paste the image into the X post with Ctrl+V.</source>
        <translation>按 Ctrl+V 将图片粘贴到 X 帖子中。</translation>
    </message>
    <message>
        <source>Report estimate: %1 units</source>
        <translation>报道估计：%1台</translation>
    </message>
    <message>
        <source>Save PNG…</source>
        <translation>存储 PNG…</translation>
    </message>
    <message>
        <source>Share Device Image</source>
        <translation>分享设备图片</translation>
    </message>
    <message>
        <source>Show Back</source>
        <translation>显示背面</translation>
    </message>
    <message>
        <source>Support is in development. Stay tuned.</source>
        <translation>支持正在开发中，敬请期待。</translation>
    </message>
    <message>
        <source>The device image could not be saved.</source>
        <translation>无法存储设备图片。</translation>
    </message>
    <message>
        <source>There is not enough free space on the disk.</source>
        <translation>磁盘上没有足够的可用空间。</translation>
    </message>
    <message>
        <source>USB Connection Help</source>
        <translation>USB 连接帮助</translation>
    </message>
    <message>
        <source>Year</source>
        <translation>年份</translation>
    </message>
    <message>
        <source>No.</source>
        <translation>序号</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>标题</translation>
    </message>
    <message>
        <source>Artist</source>
        <translation>艺人</translation>
    </message>
    <message>
        <source>Album</source>
        <translation>专辑</translation>
    </message>
    <message>
        <source>Genre</source>
        <translation>类型</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>格式</translation>
    </message>
    <message>
        <source>Rating</source>
        <translation>评分</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>大小</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>时长</translation>
    </message>
    <message>
        <source>Playback start track saved on the iPod</source>
        <translation>iPod 上保存的播放起始曲目</translation>
    </message>
    <message>
        <source>iPod start track</source>
        <translation>iPod 起始曲目</translation>
    </message>
    <message>
        <source>Rating: %1 out of 5</source>
        <translation>评分：%1（满分 5）</translation>
    </message>
    <message>
        <source>Now Playing</source>
        <translation>正在播放</translation>
    </message>
    <message>
        <source>Pending save</source>
        <translation>等待存储</translation>
    </message>
    <message>
        <source>Library is empty</source>
        <translation>资料库为空</translation>
    </message>
    <message>
        <source>No Matching Tracks</source>
        <translation>没有匹配的曲目</translation>
    </message>
    <message>
        <source>This playlist is empty</source>
        <translation>此播放列表为空</translation>
    </message>
    <message>
        <source>Could Not Open Library</source>
        <translation>无法打开资料库</translation>
    </message>
    <message>
        <source>The iPod may have been renamed or disconnected. Check its connection, then click Retry to find it again.</source>
        <translation>iPod 可能已被重命名或已断开连接。请检查连接，然后点按“重试”重新查找。</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>重试</translation>
    </message>
    <message>
        <source>Reading library…</source>
        <translation>正在读取资料库…</translation>
    </message>
    <message>
        <source>MP3, M4A, AAC, FLAC, and WAV. Lossless audio is converted automatically.</source>
        <translation>支持 MP3、M4A、AAC、FLAC 和 WAV。无损音频会自动转换。</translation>
    </message>
    <message>
        <source>Drop audio files when the library is ready.</source>
        <translation>资料库就绪后即可拖入音频文件。</translation>
    </message>
    <message>
        <source>Adding and editing songs is unavailable</source>
        <translation>无法添加和编辑歌曲</translation>
    </message>
    <message>
        <source>This device is read-only</source>
        <translation>此设备为只读</translation>
    </message>
    <message>
        <source>Release to add to iPod</source>
        <translation>松开以添加到 iPod</translation>
    </message>
    <message>
        <source>Click to choose or drop audio files</source>
        <translation>点按以选取或拖入音频文件</translation>
    </message>
    <message>
        <source>You can create playlists from songs already on this iPod.</source>
        <translation>你可以用此 iPod 上已有的歌曲创建播放列表。</translation>
    </message>
    <message>
        <source>File %1 of %2</source>
        <translation>第 %1 个文件，共 %2 个</translation>
    </message>
    <message>
        <source>Selected “%1” · %2 (%3)</source>
        <translation>已选择“%1” · %2（%3）</translation>
    </message>
    <message>
        <source>%1 selected</source>
        <translation>已选择 %1 项</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>导入</translation>
    </message>
    <message>
        <source>Edit Track Info</source>
        <translation>编辑曲目信息</translation>
    </message>
    <message>
        <source>Set iPod Start Track</source>
        <translation>设为 iPod 起始曲目</translation>
    </message>
    <message>
        <source>Sets this track as the start in both playback modes and adjusts the order on the iPod.</source>
        <translation>将此曲目设为两种播放模式的起始曲目，并调整 iPod 上的顺序。</translation>
    </message>
    <message>
        <source>Delete From iPod</source>
        <translation>从 iPod 删除</translation>
    </message>
    <message>
        <source>Delete the selected tracks from iPod</source>
        <translation>从 iPod 删除所选曲目</translation>
    </message>
    <message>
        <source>Audio Conversion</source>
        <translation>音频转换</translation>
    </message>
    <message>
        <source>Output Format</source>
        <translation>输出格式</translation>
    </message>
    <message>
        <source>%1 kbps AAC</source>
        <translation>%1 kbps AAC</translation>
    </message>
    <message>
        <source>Keep compatible audio when possible</source>
        <translation>尽可能保留兼容的音频</translation>
    </message>
    <message>
        <source>Compatible MP3 and AAC files keep their original encoding when their tags need no changes.</source>
        <translation>标签无需更改时，兼容的 MP3 和 AAC 文件会保留原有编码。</translation>
    </message>
    <message>
        <source>All imported audio is re-encoded as AAC.</source>
        <translation>所有导入的音频都会重新编码为 AAC。</translation>
    </message>
    <message>
        <source>General</source>
        <translation>通用</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>语言</translation>
    </message>
    <message>
        <source>Follow System</source>
        <translation>跟随系统</translation>
    </message>
    <message>
        <source>Eject after a successful import</source>
        <translation>导入成功后推出</translation>
    </message>
    <message>
        <source>System Information</source>
        <translation>系统信息</translation>
    </message>
    <message>
        <source>Computer Name</source>
        <translation>电脑名称</translation>
    </message>
    <message>
        <source>Operating System</source>
        <translation>操作系统</translation>
    </message>
    <message>
        <source>Processor</source>
        <translation>处理器</translation>
    </message>
    <message>
        <source>Memory</source>
        <translation>内存</translation>
    </message>
    <message>
        <source>Unavailable</source>
        <translation>不可用</translation>
    </message>
    <message numerus="yes">
        <source>%n tracks</source>
        <translation>
            <numerusform>%n 首曲目</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 available</source>
        <translation>可用 %1</translation>
    </message>
    <message>
        <source>Add Songs…</source>
        <translation>添加歌曲…</translation>
    </message>
    <message>
        <source>Add Files…</source>
        <translation>添加文件…</translation>
    </message>
    <message>
        <source>Add Folder…</source>
        <translation>添加文件夹…</translation>
    </message>
    <message>
        <source>Infer Artist and Title from Filenames</source>
        <translation>从文件名推断艺人和标题</translation>
    </message>
    <message>
        <source>Eject Device</source>
        <translation>推出设备</translation>
    </message>
    <message>
        <source>Import and Device Actions</source>
        <translation>导入和设备操作</translation>
    </message>
    <message>
        <source>Audio (%1)</source>
        <translation>音频 (%1)</translation>
    </message>
    <message>
        <source>Search by Title or Artist</source>
        <translation>按标题或艺人搜索</translation>
    </message>
    <message>
        <source>Clear Search</source>
        <translation>清除搜索</translation>
    </message>
    <message>
        <source>Table View</source>
        <translation>表格视图</translation>
    </message>
    <message>
        <source>Cover Flow</source>
        <translation>封面浏览</translation>
    </message>
    <message>
        <source>All Tracks</source>
        <translation>全部曲目</translation>
    </message>
    <message>
        <source>Device Playlists</source>
        <translation>设备播放列表</translation>
    </message>
    <message>
        <source>Browse Playlists</source>
        <translation>浏览播放列表</translation>
    </message>
    <message>
        <source>New Playlist on iPod…</source>
        <translation>在 iPod 上新建播放列表…</translation>
    </message>
    <message>
        <source>Playlist</source>
        <translation>播放列表</translation>
    </message>
    <message>
        <source>Group By</source>
        <translation>分组方式</translation>
    </message>
    <message>
        <source>Play Preview</source>
        <translation>播放试听</translation>
    </message>
    <message>
        <source>Pause Preview</source>
        <translation>暂停试听</translation>
    </message>
    <message>
        <source>Export Songs…</source>
        <translation>导出歌曲…</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>Export WAV as lossless M4A with artwork</source>
        <translation>将 WAV 导出为带插图的无损 M4A</translation>
    </message>
    <message>
        <source>The iTunesDB file is damaged.</source>
        <translation>iTunesDB 文件已损坏。</translation>
    </message>
    <message>
        <source>There is not enough free space on the iPod to save its library.</source>
        <translation>iPod 上没有足够的可用空间来保存资料库。</translation>
    </message>
    <message>
        <source>The library reader of Lorvanel is missing. Reinstall Lorvanel.</source>
        <translation>Lorvanel 的资料库读取程序缺失。请重新安装 Lorvanel。</translation>
    </message>
    <message>
        <source>Reading the library took too long. Its database may be damaged.</source>
        <translation>读取资料库耗时过长。其数据库可能已损坏。</translation>
    </message>
    <message>
        <source>Reading the library needed too much memory. Its database may be damaged.</source>
        <translation>读取资料库所需内存过多。其数据库可能已损坏。</translation>
    </message>
    <message>
        <source>The library database is damaged and could not be read.</source>
        <translation>资料库数据库已损坏，无法读取。</translation>
    </message>
    <message>
        <source>Add Playlist</source>
        <translation>添加播放列表</translation>
    </message>
    <message>
        <source>Previous Group</source>
        <translation>上一组</translation>
    </message>
    <message>
        <source>Next Group</source>
        <translation>下一组</translation>
    </message>
    <message>
        <source>New Playlist</source>
        <translation>新建播放列表</translation>
    </message>
    <message>
        <source>No playlists on this iPod</source>
        <translation>这台 iPod 上没有播放列表</translation>
    </message>
    <message numerus="yes">
        <source>%n tracks · %1</source>
        <translation>
            <numerusform>%n 首曲目 · %1</numerusform>
        </translation>
    </message>
    <message>
        <source>Move Up</source>
        <translation>上移</translation>
    </message>
    <message>
        <source>Move Down</source>
        <translation>下移</translation>
    </message>
    <message>
        <source>Close Preview</source>
        <translation>关闭试听</translation>
    </message>
    <message>
        <source>Preview Progress</source>
        <translation>试听进度</translation>
    </message>
    <message>
        <source>Loading Preview</source>
        <translation>正在载入试听</translation>
    </message>
    <message>
        <source>Split</source>
        <translation>拆分</translation>
    </message>
    <message>
        <source>Split Artist and Title</source>
        <translation>拆分艺人和标题</translation>
    </message>
    <message>
        <source>Album Artist</source>
        <translation>专辑艺人</translation>
    </message>
    <message>
        <source>Not Set</source>
        <translation>未设置</translation>
    </message>
    <message>
        <source>Save to iPod</source>
        <translation>存储到 iPod</translation>
    </message>
    <message>
        <source>Playlist Name</source>
        <translation>播放列表名称</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>全选</translation>
    </message>
    <message>
        <source>Deselect All</source>
        <translation>取消全选</translation>
    </message>
    <message>
        <source>No matching tracks</source>
        <translation>没有匹配的曲目</translation>
    </message>
    <message>
        <source>Model</source>
        <translation>型号</translation>
    </message>
    <message>
        <source>Charging Status</source>
        <translation>充电状态</translation>
    </message>
    <message>
        <source>Copy %1</source>
        <translation>拷贝 %1</translation>
    </message>
    <message>
        <source>Select this device in your file manager's sidebar to reach its files; songs are synced with a music app that supports iOS devices.</source>
        <translation>在文件管理器的侧边栏中选择此设备即可访问其文件；歌曲需通过支持 iOS 设备的音乐应用同步。</translation>
    </message>
    <message>
        <source>%1 · %2 available</source>
        <translation>%1 · 可用 %2</translation>
    </message>
    <message>
        <source>Tracks: %1</source>
        <translation>曲目：%1</translation>
    </message>
    <message>
        <source>Track count unavailable</source>
        <translation>无法获取曲目数</translation>
    </message>
    <message>
        <source>Save the track info of “%1”</source>
        <translation>保存“%1”的曲目信息</translation>
    </message>
    <message>
        <source>Delete “%1”</source>
        <translation>删除“%1”</translation>
    </message>
    <message>
        <source>Delete %1 songs</source>
        <translation>删除 %1 首歌曲</translation>
    </message>
    <message>
        <source>Create playlist “%1”</source>
        <translation>创建播放列表“%1”</translation>
    </message>
    <message>
        <source>Move playlist “%1”</source>
        <translation>移动播放列表“%1”</translation>
    </message>
    <message>
        <source>Set “%1” as the start track</source>
        <translation>将“%1”设为起始曲目</translation>
    </message>
    <message>
        <source>The library reader of Lorvanel could not be started.</source>
        <translation>无法启动 Lorvanel 的资料库读取程序。</translation>
    </message>
    <message>
        <source>An iPod library with no tracks cannot be saved. Add music before moving a playlist.</source>
        <translation>没有曲目的 iPod 资料库无法保存。请先添加音乐再移动播放列表。</translation>
    </message>
    <message>
        <source>An iPod library with no tracks cannot be saved. Keep at least one track on the iPod.</source>
        <translation>没有曲目的 iPod 资料库无法保存。请在 iPod 上至少保留一首曲目。</translation>
    </message>
    <message>
        <source>Lorvanel is still working with the iPod.</source>
        <translation>Lorvanel 仍在处理 iPod。</translation>
    </message>
    <message>
        <source>Stopping leaves out what has not been saved yet; the iPod's library stays intact.</source>
        <translation>停止后，尚未保存的内容将被略过；iPod 的资料库保持完好。</translation>
    </message>
    <message>
        <source>Lorvanel can quit as soon as it has finished writing to the iPod, so that nothing you changed is lost.</source>
        <translation>Lorvanel 可在写入 iPod 完成后立即退出，你所做的更改不会丢失。</translation>
    </message>
    <message>
        <source>Continue</source>
        <translation>继续</translation>
    </message>
    <message>
        <source>Stop and Quit</source>
        <translation>停止并退出</translation>
    </message>
    <message>
        <source>Quit When Done</source>
        <translation>完成后退出</translation>
    </message>
    <message>
        <source>Lorvanel will quit when it has finished with the iPod.</source>
        <translation>Lorvanel 将在处理完 iPod 后退出。</translation>
    </message>
    <message>
        <source>There is not enough free space on the iPod to save its library without these songs. Delete a larger song, or several songs at once.</source>
        <translation>iPod 上没有足够的可用空间来保存删除这些歌曲后的资料库。请删除一首更大的歌曲，或一次删除多首歌曲。</translation>
    </message>
    <message>
        <source>%1 (full)</source>
        <translation>%1（已满）</translation>
    </message>
    <message>
        <source>%1 (cannot be written)</source>
        <translation>%1（无法写入）</translation>
    </message>
    <message>
        <source>%1; %2</source>
        <translation>%1；%2</translation>
    </message>
    <message>
        <source>Editing is disabled because Lorvanel could not write the temporary files it needs to check this iPod’s database in any folder it tried: %1. Free some space on the disk of a full folder, or make a folder that cannot be written writable for your user (create it if it is missing), then reconnect the iPod.</source>
        <translation>Lorvanel 无法在所尝试的任何文件夹中写入检查此 iPod 数据库所需的临时文件，因此已停用编辑：%1。请在已满文件夹所在的磁盘上释放一些空间，或让无法写入的文件夹可由你的用户写入（如不存在请先创建），然后重新连接 iPod。</translation>
    </message>
    <message>
        <source>Editing is disabled because Lorvanel could not write the temporary files it needs to check this iPod’s database in any folder it tried: %1. Free some space on the disk of one of these folders, then reconnect the iPod.</source>
        <translation>Lorvanel 无法在所尝试的任何文件夹中写入检查此 iPod 数据库所需的临时文件，因此已停用编辑：%1。请在其中一个文件夹所在的磁盘上释放一些空间，然后重新连接 iPod。</translation>
    </message>
    <message>
        <source>Editing is disabled because Lorvanel could not write the temporary files it needs to check this iPod’s database in any folder it tried: %1. Make one of these folders writable for your user (create it if it is missing), or start Lorvanel with TMPDIR set to a folder you can write to, then reconnect the iPod.</source>
        <translation>Lorvanel 无法在所尝试的任何文件夹中写入检查此 iPod 数据库所需的临时文件，因此已停用编辑：%1。请让其中一个文件夹可由你的用户写入（如不存在请先创建），或在启动 Lorvanel 时将 TMPDIR 设为你可以写入的文件夹，然后重新连接 iPod。</translation>
    </message>
    <message>
        <source>Editing is disabled because Lorvanel found no folder for the temporary files it needs to check this iPod’s database. Start Lorvanel with TMPDIR set to a folder you can write to, then reconnect the iPod.</source>
        <translation>Lorvanel 找不到可存放检查此 iPod 数据库所需临时文件的文件夹，因此已停用编辑。请在启动 Lorvanel 时将 TMPDIR 设为你可以写入的文件夹，然后重新连接 iPod。</translation>
    </message>
    <message>
        <source>Editing is disabled because this iPod’s device description (%1) lists cover art formats that no iPod uses. If the file was edited or copied from another iPod, put back this iPod’s own copy, then reconnect the iPod. Until then you can still browse and export its songs.</source>
        <translation>此 iPod 的设备描述（%1）列出了 iPod 不会使用的插图格式，因此已停用编辑。如果该文件被编辑过或是从另一台 iPod 复制而来，请放回此 iPod 自己的副本，然后重新连接 iPod。在此之前，你仍可浏览和导出其中的歌曲。</translation>
    </message>
    <message>
        <source>Editing is disabled because the device description read from this iPod over USB lists cover art formats that no iPod uses. Eject the iPod and connect it again so that the description is read anew. Until then you can still browse and export its songs.</source>
        <translation>通过 USB 从此 iPod 读取的设备描述列出了 iPod 不会使用的插图格式，因此已停用编辑。请推出 iPod 并重新连接，以便重新读取设备描述。在此之前，你仍可浏览和导出其中的歌曲。</translation>
    </message>
    <message>
        <source>Editing is disabled because this iPod’s device description (%1) lists none of the cover art formats its covers are stored in: saving would erase them.</source>
        <translation>此 iPod 的设备描述（%1）未列出其插图所用的任何插图格式：保存会清除这些插图，因此已停用编辑。</translation>
    </message>
    <message>
        <source>Editing is disabled because the device description read from this iPod over USB lists none of the cover art formats its covers are stored in: saving would erase them.</source>
        <translation>通过 USB 从此 iPod 读取的设备描述未列出其插图所用的任何插图格式：保存会清除这些插图，因此已停用编辑。</translation>
    </message>
    <message>
        <source>Editing is disabled because this iPod’s cover art database (%1) is missing or could not be read while covers are stored on the iPod: saving would erase them. Put back an intact copy from a backup of this iPod, then reconnect it.</source>
        <translation>此 iPod 的插图数据库（%1）缺失或无法读取，而 iPod 上存有插图：保存会清除这些插图，因此已停用编辑。请从此 iPod 的备份中放回一份完好的副本，然后重新连接 iPod。</translation>
    </message>
    <message>
        <source>Editing is disabled because this iPod’s covers are stored in cover art formats of another model than the one its device description (%1) names: saving would erase them. If that file is not this iPod’s own, put back its own from a backup of this iPod, then reconnect it.</source>
        <translation>此 iPod 的插图所用的插图格式属于另一型号，而非其设备描述（%1）所指的型号：保存会清除这些插图，因此已停用编辑。如果该文件不是此 iPod 自己的，请从此 iPod 的备份中放回它自己的文件，然后重新连接 iPod。</translation>
    </message>
    <message>
        <source>Editing is disabled because this iPod’s covers are stored in cover art formats of another model than the one it reports over USB: saving would erase them. Leave the iPod as it is to keep them; its songs still play and can be exported.</source>
        <translation>此 iPod 的插图所用的插图格式属于另一型号，而非它通过 USB 报告的型号：保存会清除这些插图，因此已停用编辑。若要保留这些插图，请保持 iPod 原样；其中的歌曲仍可播放和导出。</translation>
    </message>
    <message>
        <source>There is not enough free space on the iPod for this song and the library update it needs. Delete some songs from the iPod, then try again.</source>
        <translation>iPod 上的可用空间不足以存放这首歌曲及其所需的资料库更新。请从 iPod 删除一些歌曲，然后重试。</translation>
    </message>
    <message>
        <source>The iPod is in use by another program. Quit that program, then try again.</source>
        <translation>此 iPod 正被另一个程序使用。请退出该程序后再试。</translation>
    </message>
    <message>
        <source>Editing is disabled because this iPod’s device description (%1) is not written in a form Lorvanel can read safely. Move that file from the iPod to your computer, then reconnect the iPod. The music on the iPod stays as it is.</source>
        <translation>此 iPod 的设备描述（%1）的写法无法被 Lorvanel 安全读取，因此已停用编辑。请将该文件从 iPod 移到电脑上，然后重新连接 iPod。iPod 上的音乐不会受影响。</translation>
    </message>
    <message>
        <source>Editing is disabled because the device description read from this iPod over USB is not written in a form Lorvanel can read safely. Safely eject the iPod, then reconnect it.</source>
        <translation>通过 USB 从此 iPod 读取的设备描述的写法无法被 Lorvanel 安全读取，因此已停用编辑。请安全推出 iPod，然后重新连接。</translation>
    </message>
    <message>
        <source>Nothing was imported: %1 on the iPod is a symbolic link, not a folder. Move the folder the link points to onto the iPod in place of the link, under the same name, then try again.</source>
        <translation>未导入任何歌曲：iPod 上的 %1 是符号链接，而不是文件夹。请将该链接指向的文件夹移到 iPod 上替换该链接，并保持相同的名称，然后重试。</translation>
    </message>
    <message>
        <source>Editing is disabled because %1 on this iPod is a symbolic link, not a folder: Lorvanel writes nothing through it. Move the folder the link points to onto the iPod in place of the link, under the same name, then reconnect the iPod. Until then you can still browse and export its songs.</source>
        <translation>此 iPod 上的 %1 是符号链接，而不是文件夹，Lorvanel 不会通过它写入任何内容，因此已停用编辑。请将该链接指向的文件夹移到 iPod 上替换该链接，并保持相同的名称，然后重新连接 iPod。在此之前，你仍可浏览和导出其中的歌曲。</translation>
    </message>
    <message>
        <source>%1 on the iPod is a symbolic link, not a folder, and no library could be read through it. Move the folder the link points to onto the iPod in place of the link, under the same name, then reconnect the iPod.</source>
        <translation>iPod 上的 %1 是符号链接，而不是文件夹，无法通过它读取资料库。请将该链接指向的文件夹移到 iPod 上替换该链接，并保持相同的名称，然后重新连接 iPod。</translation>
    </message>
    <message>
        <source>There is not enough free space on the iPod to rewrite this song with its new details, so the edit was not made. Delete some songs from the iPod, then try again.</source>
        <translation>iPod 上的可用空间不足以用新的信息重写这首歌曲，因此未进行此次编辑。请从 iPod 删除一些歌曲，然后重试。</translation>
    </message>
    <message>
        <source>Delete “%1” from %2.</source>
        <translation>从“%2”删除“%1”。</translation>
    </message>
    <message>
        <source>Nothing was imported: %1</source>
        <translation>未导入任何歌曲：%1</translation>
    </message>
    <message>
        <source>This song was not imported: the iPod’s cover file %1 is missing or cut short, and a cover saved into it now would show on other songs. Put back an intact copy from a backup of this iPod, then try again.</source>
        <translation>未导入这首歌曲：iPod 的封面文件 %1 缺失或被截断，此时存入其中的封面会显示在其他歌曲上。请从此 iPod 的备份中放回完好的副本，然后重试。</translation>
    </message>
    <message>
        <source>Editing is disabled because %1 on this iPod is a symbolic link, not a file: Lorvanel writes nothing through it. Move the file the link points to onto the iPod in place of the link, under the same name, then reconnect the iPod. Until then you can still browse and export its songs.</source>
        <translation>此 iPod 上的 %1 是符号链接，而不是文件，Lorvanel 不会通过它写入任何内容，因此已停用编辑。请将该链接指向的文件移到 iPod 上替换该链接，并保持相同的名称，然后重新连接 iPod。在此之前，你仍可浏览和导出其中的歌曲。</translation>
    </message>
    <message>
        <source>Nothing was imported: %1 on the iPod is a symbolic link, not a file. Move the file the link points to onto the iPod in place of the link, under the same name, then try again.</source>
        <translation>未导入任何歌曲：iPod 上的 %1 是符号链接，而不是文件。请将该链接指向的文件移到 iPod 上替换该链接，并保持相同的名称，然后重试。</translation>
    </message>
</context>
</TS>
