<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Body</name>
    <message>
        <source>Quorvel</source>
        <translation>Quorvel</translation>
    </message>
    <message>
        <source>Raw Image</source>
        <translation>生画像</translation>
    </message>
    <message>
        <source>Sinogram</source>
        <translation>サイノグラム</translation>
    </message>
    <message>
        <source>I0 Image</source>
        <translation>I0 画像</translation>
    </message>
    <message>
        <source>BG Image</source>
        <translation>BG 画像</translation>
    </message>
    <message>
        <source>Raw Images</source>
        <translation>生画像ファイル</translation>
    </message>
    <message>
        <source>I0 :</source>
        <translation>I0 :</translation>
    </message>
    <message>
        <source>BG :</source>
        <translation>BG :</translation>
    </message>
    <message>
        <source>Measured Raw Image</source>
        <translation>測定した生画像</translation>
    </message>
    <message>
        <source>Check Sinogram</source>
        <translation>サイノグラム確認</translation>
    </message>
</context>
<context>
    <name>CBarUI</name>
    <message>
        <source>Max</source>
        <translation>最大</translation>
    </message>
    <message>
        <source>Min</source>
        <translation>最小</translation>
    </message>
    <message>
        <source>Fix</source>
        <translation>固定</translation>
    </message>
</context>
<context>
    <name>PopDockBase</name>
    <message>
        <source>Pop/Dock</source>
        <translation>分離/格納</translation>
    </message>
</context>
<context>
    <name>PosValUI</name>
    <message>
        <source>X:</source>
        <translation>X:</translation>
    </message>
    <message>
        <source>Y:</source>
        <translation>Y:</translation>
    </message>
    <message>
        <source>Val:</source>
        <translation>値:</translation>
    </message>
    <message>
        <source>Scale Reset</source>
        <translation>表示リセット</translation>
    </message>
</context>
<context>
    <name>ProcCtrl</name>
    <message>
        <source>Proc Control</source>
        <translation>処理設定</translation>
    </message>
    <message>
        <source>CT Proc. Ctrl : </source>
        <translation>CT 処理設定 : </translation>
    </message>
    <message>
        <source>Slice : </source>
        <translation>スライス : </translation>
    </message>
    <message>
        <source>Center</source>
        <translation>回転中心</translation>
    </message>
    <message>
        <source>Rotation : </source>
        <translation>回転軸 : </translation>
    </message>
    <message>
        <source>H</source>
        <translation>水平</translation>
    </message>
    <message>
        <source>V</source>
        <translation>垂直</translation>
    </message>
    <message>
        <source>  Ax</source>
        <translation>  軸</translation>
    </message>
    <message>
        <source>Angle Orig : </source>
        <translation>角度原点 : </translation>
    </message>
    <message>
        <source>[deg]</source>
        <translation>[度]</translation>
    </message>
    <message>
        <source>Data Set :  </source>
        <translation>データ範囲 :  </translation>
    </message>
    <message>
        <source>Imgs</source>
        <translation>枚</translation>
    </message>
    <message>
        <source>Partial</source>
        <translation>部分使用</translation>
    </message>
    <message>
        <source>Start [#]</source>
        <translation>開始 [#]</translation>
    </message>
    <message>
        <source>Using Images[#]</source>
        <translation>使用枚数[#]</translation>
    </message>
    <message>
        <source>Threads</source>
        <translation>スレッド</translation>
    </message>
    <message>
        <source>Auto Exec</source>
        <translation>連続実行</translation>
    </message>
    <message>
        <source>From</source>
        <translation>開始</translation>
    </message>
    <message>
        <source>To</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>Step</source>
        <translation>間隔</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>記録</translation>
    </message>
    <message>
        <source>Record. COR</source>
        <translation>記録した中心</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>クリア</translation>
    </message>
</context>
<context>
    <name>SeekCtrlUI</name>
    <message>
        <source>Previous</source>
        <translation>前へ</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>次へ</translation>
    </message>
</context>
<context>
    <name>SelectAFile</name>
    <message>
        <source>Select</source>
        <translation>選択</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名前</translation>
    </message>
    <message>
        <source>Select a file</source>
        <translation>ファイルの選択</translation>
    </message>
    <message>
        <source>Img file (*.img)</source>
        <translation>Img ファイル (*.img)</translation>
    </message>
    <message>
        <source>Tiff file (*.tif *.tiff)</source>
        <translation>Tiff ファイル (*.tif *.tiff)</translation>
    </message>
    <message>
        <source>Any file (* *.*)</source>
        <translation>すべてのファイル (* *.*)</translation>
    </message>
</context>
<context>
    <name>SelectAImgFile</name>
    <message>
        <source>Show Img</source>
        <translation>画像表示</translation>
    </message>
    <message>
        <source>Exp Time</source>
        <translation>露光時間</translation>
    </message>
</context>
<context>
    <name>SelectDataFiles</name>
    <message>
        <source>Data Select</source>
        <translation>データ選択</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>クリア</translation>
    </message>
    <message>
        <source>New</source>
        <translation>新規</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>追加</translation>
    </message>
    <message>
        <source>Multi.</source>
        <translation>複数回</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;When Checked : The first file in the list will be read multitimes ( ex. 180 times )&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;チェックすると、リストの最初のファイルを複数回 (例: 180 回) 読み込みます&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>keep Conds.</source>
        <translation>条件保持</translation>
    </message>
    <message>
        <source>Exp. Time[s]</source>
        <translation>露光時間[s]</translation>
    </message>
    <message>
        <source>File name extension used when a whole directory is listed</source>
        <translation>ディレクトリ全体を読み込むときに使う拡張子</translation>
    </message>
    <message>
        <source>Select data files</source>
        <translation>データファイルの選択</translation>
    </message>
    <message>
        <source>Itex File (*.img)</source>
        <translation>Itex ファイル (*.img)</translation>
    </message>
    <message>
        <source>Tiff File (*.tif *.tiff)</source>
        <translation>Tiff ファイル (*.tif *.tiff)</translation>
    </message>
    <message>
        <source>Any Files (* *.*)</source>
        <translation>すべてのファイル (* *.*)</translation>
    </message>
</context>
<context>
    <name>Sinogram</name>
    <message>
        <source>Sinogram</source>
        <translation>サイノグラム</translation>
    </message>
    <message>
        <source>CoR</source>
        <translation>回転中心</translation>
    </message>
    <message>
        <source>Guess CoR</source>
        <translation>中心を推定</translation>
    </message>
    <message>
        <source>Width of the compared window, as a fraction of the line length</source>
        <translation>比較する範囲の幅 (ライン長に対する比)</translation>
    </message>
    <message>
        <source>Gen Image</source>
        <translation>画像生成</translation>
    </message>
    <message>
        <source>Gen Fou. Sinogram</source>
        <translation>フーリエ・サイノグラム</translation>
    </message>
</context>
</TS>
