<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>BatchController</name>
    <message>
        <source>Lines of a file wait for a load to end; these %1 lines are not run</source>
        <translation>ファイルの行が読み込みの終了を待っています。この %1 行は実行しません</translation>
    </message>
    <message>
        <source>Setup %1 is not loaded: the lines of another file wait for a load</source>
        <translation>設定 %1 は読み込みません: 別のファイルの行が読み込みを待っています</translation>
    </message>
    <message>
        <source>Setup %1: not there, so not loaded: %2; the rest of the setup is applied</source>
        <translation>設定 %1: 見つからないため読み込みません: %2。設定の残りは適用しました</translation>
    </message>
    <message>
        <source>it records no data set</source>
        <translation>データセットの記録なし</translation>
    </message>
    <message>
        <source>the data set loaded is kept</source>
        <translation>読み込み済みのデータセットを保持</translation>
    </message>
    <message>
        <source>its data set is not there</source>
        <translation>そのデータセットが見つかりません</translation>
    </message>
    <message>
        <source>%1 images of %2 x %3 from %4</source>
        <translation>%2 x %3 の画像 %1 枚 (%4)</translation>
    </message>
    <message>
        <source>Setup loaded: %1 (%2 settings; %3)</source>
        <translation>設定を読み込みました: %1 (設定 %2 項目; %3)</translation>
    </message>
</context>
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
    <message>
        <source>Calculation</source>
        <translation>計算</translation>
    </message>
    <message>
        <source>Calc</source>
        <translation>計算</translation>
    </message>
    <message>
        <source>CT1</source>
        <translation>CT1</translation>
    </message>
    <message>
        <source>CT2</source>
        <translation>CT2</translation>
    </message>
    <message>
        <source>Show Res.</source>
        <translation>結果表示</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>開始</translation>
    </message>
    <message>
        <source>End</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>Spent [s]</source>
        <translation>所要時間 [s]</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>進捗</translation>
    </message>
    <message>
        <source>Fix Color Scale</source>
        <translation>カラースケール固定</translation>
    </message>
    <message>
        <source>Min</source>
        <translation>最小</translation>
    </message>
    <message>
        <source>Max</source>
        <translation>最大</translation>
    </message>
    <message>
        <source>Saving</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Auto Save Img</source>
        <translation>画像自動保存</translation>
    </message>
    <message>
        <source>Auto Save Data</source>
        <translation>データ自動保存</translation>
    </message>
    <message>
        <source>Save in Sub Folders</source>
        <translation>サブフォルダに保存</translation>
    </message>
    <message>
        <source>of Energy</source>
        <translation>エネルギー別</translation>
    </message>
    <message>
        <source>of Slice</source>
        <translation>スライス別</translation>
    </message>
    <message>
        <source>Upper Limit</source>
        <translation>上限</translation>
    </message>
    <message>
        <source>Lower Limit</source>
        <translation>下限</translation>
    </message>
    <message>
        <source>Offset</source>
        <translation>オフセット</translation>
    </message>
    <message>
        <source>2dZelmap</source>
        <translation>2dZelmap</translation>
    </message>
    <message>
        <source>Link 2dZelmap</source>
        <translation>2dZelmap 接続</translation>
    </message>
    <message>
        <source>2dZelmap busy</source>
        <translation>2dZelmap 処理中</translation>
    </message>
    <message>
        <source>Send Msg.</source>
        <translation>メッセージ送信</translation>
    </message>
    <message>
        <source>Exec 2DA</source>
        <translation>2DA 実行</translation>
    </message>
    <message>
        <source>w 2DA</source>
        <translation>2DA 付き</translation>
    </message>
    <message>
        <source>Cont. 2DA</source>
        <translation>連続 2DA</translation>
    </message>
    <message>
        <source>Save Setup</source>
        <translation>設定保存</translation>
    </message>
    <message>
        <source>Load Setup</source>
        <translation>設定読込</translation>
    </message>
    <message>
        <source>Show Additionl Info for CT XAFS</source>
        <translation>CT XAFS 用の追加情報を表示</translation>
    </message>
    <message>
        <source>More</source>
        <translation>詳細</translation>
    </message>
    <message>
        <source>CT Reconstructed Image</source>
        <translation>CT 再構成画像</translation>
    </message>
    <message>
        <source>CT Images</source>
        <translation>CT 画像一覧</translation>
    </message>
    <message>
        <source>3D View</source>
        <translation>3D 表示</translation>
    </message>
    <message>
        <source>CT XAFS</source>
        <translation>CT XAFS</translation>
    </message>
    <message>
        <source>Seq. Calc.</source>
        <translation>連続計算</translation>
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
        <source>Keep on New Sets</source>
        <translation>新しいセットでも保持</translation>
    </message>
    <message>
        <source>Progress Msg.</source>
        <translation>進捗メッセージ</translation>
    </message>
    <message>
        <source>[s]</source>
        <translation>[s]</translation>
    </message>
    <message>
        <source>Total</source>
        <translation>合計</translation>
    </message>
    <message>
        <source>Sel. I0 File Set</source>
        <translation>I0 ファイル群の選択</translation>
    </message>
    <message>
        <source>I0 of Raw Image</source>
        <translation>生画像の I0</translation>
    </message>
    <message>
        <source>I0 of I0 Image</source>
        <translation>I0 画像の I0</translation>
    </message>
    <message>
        <source>CT Reconstruction</source>
        <translation>CT 再構成</translation>
    </message>
    <message>
        <source>CT images</source>
        <translation>CT 画像</translation>
    </message>
    <message>
        <source>quorvel Images</source>
        <translation>quorvel 画像</translation>
    </message>
    <message>
        <source>CT Calc2 %1</source>
        <translation>CT 計算2 %1</translation>
    </message>
    <message>
        <source>CT2 %1</source>
        <translation>CT2 %1</translation>
    </message>
    <message>
        <source>Messages</source>
        <translation>メッセージ</translation>
    </message>
    <message>
        <source>Reconstructed Body View</source>
        <translation>再構成像の立体表示</translation>
    </message>
    <message>
        <source>Float TIFF</source>
        <translation>浮動小数点TIFF</translation>
    </message>
    <message>
        <source>Also save each slice as a 32-bit float TIFF image of the calculation region, with the values as computed (no limits, no offset), named and placed like the data file</source>
        <translation>各スライスを計算領域の32ビット浮動小数点TIFF画像としても保存します。値は計算結果そのまま(上下限・オフセットなし)で、データファイルと同じ名前・場所に保存します</translation>
    </message>
    <message>
        <source>A run is going. Stop it and close the window?
Slices in progress are finished and saved.</source>
        <translation>計算中です。停止してウィンドウを閉じますか?
計算中のスライスは最後まで計算して保存します。</translation>
    </message>
    <message>
        <source>Centre of Rotation Scan</source>
        <translation>回転中心スキャン</translation>
    </message>
    <message>
        <source>CoR Scan</source>
        <translation>中心スキャン</translation>
    </message>
    <message>
        <source>Calculate the slices, or stop the run (%1)</source>
        <translation>スライスを計算、または計算を停止 (%1)</translation>
    </message>
    <message>
        <source>Guess the centre of rotation from two facing projections (%1)</source>
        <translation>向かい合う2枚の投影から回転中心を推定 (%1)</translation>
    </message>
    <message>
        <source>The projection shown (%1 / %2)</source>
        <translation>表示中の投影 (%1 / %2)</translation>
    </message>
    <message>
        <source>The slice calculated; a left click on the projection picks it (%1 / %2; %3 undoes a pick)</source>
        <translation>計算するスライス。投影を左クリックで選択 (%1 / %2、%3 で選択を取り消し)</translation>
    </message>
    <message>
        <source>The centre of rotation in pixels; a right click on the projection picks it (%1 undoes a pick)</source>
        <translation>回転中心 (ピクセル)。投影を右クリックで選択 (%1 で選択を取り消し)</translation>
    </message>
    <message>
        <source>Left click: slice; right click: centre of rotation; Shift-drag: slice range and regions (%1 undoes them); %2 shows the whole picture</source>
        <translation>左クリック: スライス、右クリック: 回転中心、Shift+ドラッグ: スライス範囲と領域 (%1 で取り消し)。%2 で画像全体を表示</translation>
    </message>
    <message>
        <source>Save the settings to a setup file (%1)</source>
        <translation>設定をセットアップファイルに保存 (%1)</translation>
    </message>
    <message>
        <source>Load the settings of a setup file (%1)</source>
        <translation>セットアップファイルの設定を読み込み (%1)</translation>
    </message>
    <message>
        <source>Calculate the slices, or stop the run</source>
        <translation>スライスを計算、または計算を停止</translation>
    </message>
    <message>
        <source>Calculate with CT1: one slice, shown as it builds up</source>
        <translation>CT1 で計算: 1 スライスを積み上げながら表示</translation>
    </message>
    <message>
        <source>Calculate with CT2: the workers, one slice or the slice range</source>
        <translation>CT2 で計算: ワーカーで 1 スライスまたはスライス範囲</translation>
    </message>
    <message>
        <source>Show each calculated slice in the CT panels</source>
        <translation>計算したスライスを CT パネルに表示</translation>
    </message>
    <message>
        <source>When the last run started</source>
        <translation>直近の計算の開始時刻</translation>
    </message>
    <message>
        <source>When the last run ended</source>
        <translation>直近の計算の終了時刻</translation>
    </message>
    <message>
        <source>Seconds the last run took</source>
        <translation>直近の計算にかかった秒数</translation>
    </message>
    <message>
        <source>Progress of the run</source>
        <translation>計算の進捗</translation>
    </message>
    <message>
        <source>Use the same colour bounds for every slice</source>
        <translation>すべてのスライスに同じ色範囲を使う</translation>
    </message>
    <message>
        <source>Lower bound of the fixed colour scale</source>
        <translation>固定色スケールの下限</translation>
    </message>
    <message>
        <source>Upper bound of the fixed colour scale</source>
        <translation>固定色スケールの上限</translation>
    </message>
    <message>
        <source>Save each calculated slice as a picture</source>
        <translation>計算したスライスを画像として保存</translation>
    </message>
    <message>
        <source>Save each calculated slice as a data file</source>
        <translation>計算したスライスをデータファイルとして保存</translation>
    </message>
    <message>
        <source>Save each slice in sub-folders; with neither &apos;of Energy&apos; nor &apos;of Slice&apos; it works as &apos;of Slice&apos;</source>
        <translation>サブフォルダに保存。&apos;of Energy&apos; も &apos;of Slice&apos; もなければ &apos;of Slice&apos; と同じ</translation>
    </message>
    <message>
        <source>Save into a folder named by the tag (energy)</source>
        <translation>タグ (エネルギー) 名のフォルダに保存</translation>
    </message>
    <message>
        <source>Save into a folder named by the slice number</source>
        <translation>スライス番号名のフォルダに保存</translation>
    </message>
    <message>
        <source>Values above this are written as 0 (then the offset is added)</source>
        <translation>これより大きい値は 0 として書き出す (その後オフセットを加算)</translation>
    </message>
    <message>
        <source>Values below this are written as 0 (then the offset is added)</source>
        <translation>これより小さい値は 0 として書き出す (その後オフセットを加算)</translation>
    </message>
    <message>
        <source>Added to every value written to a data file</source>
        <translation>データファイルに書き出す全ての値に加算</translation>
    </message>
    <message>
        <source>Connect to the 2dZelmap viewer again</source>
        <translation>2dZelmap ビューアに再接続</translation>
    </message>
    <message>
        <source>Send the picked slice&apos;s files to the viewer</source>
        <translation>選択したスライスのファイルをビューアに送る</translation>
    </message>
    <message>
        <source>Ask the viewer for the 2D analysis of the current slice</source>
        <translation>現在のスライスの 2D 解析をビューアに依頼</translation>
    </message>
    <message>
        <source>After sending a slice, also ask for its 2D analysis</source>
        <translation>スライス送信後に 2D 解析も依頼</translation>
    </message>
    <message>
        <source>Send and analyse each slice of the range in turn, or stop</source>
        <translation>範囲の各スライスを順に送って解析、または停止</translation>
    </message>
    <message>
        <source>Save the settings to a setup file</source>
        <translation>設定をセットアップファイルに保存</translation>
    </message>
    <message>
        <source>Load the settings of a setup file</source>
        <translation>セットアップファイルの設定を読み込み</translation>
    </message>
    <message>
        <source>Show the CT-XAFS series controls</source>
        <translation>CT-XAFS シリーズの操作を表示</translation>
    </message>
    <message>
        <source>Show the I0 settings of the raw and I0 images</source>
        <translation>生画像と I0 画像の I0 設定を表示</translation>
    </message>
    <message>
        <source>Load and calculate the data sets from the first to the last, or stop</source>
        <translation>最初から最後までのデータセットを読み込んで計算、または停止</translation>
    </message>
    <message>
        <source>First data set of the series run</source>
        <translation>シリーズ計算の最初のデータセット</translation>
    </message>
    <message>
        <source>Last data set of the series run</source>
        <translation>シリーズ計算の最後のデータセット</translation>
    </message>
    <message>
        <source>Keep the slice range and regions when a new data set loads</source>
        <translation>新しいデータセットでもスライス範囲と領域を保持</translation>
    </message>
    <message>
        <source>Stage of the series run</source>
        <translation>シリーズ計算の段階</translation>
    </message>
    <message>
        <source>Seconds the last stage took</source>
        <translation>直近の段階にかかった秒数</translation>
    </message>
    <message>
        <source>Seconds since the series run started</source>
        <translation>シリーズ計算開始からの秒数</translation>
    </message>
    <message>
        <source>About Quorvel</source>
        <translation>Quorvel について</translation>
    </message>
    <message>
        <source>&lt;b&gt;Quorvel %1&lt;/b&gt;&lt;p&gt;CT slices from projection images by filtered back-projection, for beamline tomography and CT-XAFS series.&lt;/p&gt;&lt;p&gt;Manual: &lt;a href=&quot;%2&quot;&gt;%3&lt;/a&gt; (batch commands in docs/ beside it)&lt;/p&gt;</source>
        <translation>&lt;b&gt;Quorvel %1&lt;/b&gt;&lt;p&gt;投影画像からフィルタ補正逆投影で CT スライスを作成します (ビームライントモグラフィーと CT-XAFS シリーズ用)。&lt;/p&gt;&lt;p&gt;マニュアル: &lt;a href=&quot;%2&quot;&gt;%3&lt;/a&gt; (バッチコマンドは同じ場所の docs/)&lt;/p&gt;</translation>
    </message>
    <message>
        <source>About</source>
        <translation>情報</translation>
    </message>
    <message>
        <source>The program&apos;s version and where its manual is (F1)</source>
        <translation>プログラムのバージョンとマニュアルの場所 (F1)</translation>
    </message>
    <message>
        <source>HDF5</source>
        <translation>HDF5</translation>
    </message>
    <message>
        <source>Also save the run&apos;s slices in one NeXus HDF5 file, NAME-TAG.h5 in the data files&apos; folder (the tag&apos;s folder with &apos;of Energy&apos;), with the values of the float TIFF; a sequence also writes series.h5 over every energy</source>
        <translation>実行したスライスを 1 つの NeXus HDF5 ファイル (データファイルのフォルダ内の NAME-TAG.h5、&apos;of Energy&apos; ではタグのフォルダ) にも保存します。値は浮動小数点 TIFF と同じです。シーケンスでは全エネルギーをまとめた series.h5 も書き出します</translation>
    </message>
    <message>
        <source>When every data set is done, align the series across energies in the data files&apos; folder (one folder per energy): shifts.tsv, aligned.h5, alignment.png</source>
        <translation>全データセットの計算後、データファイルのフォルダ (エネルギーごとのフォルダ) の系列をエネルギー間で位置合わせする: shifts.tsv、aligned.h5、alignment.png</translation>
    </message>
    <message>
        <source>Align energies</source>
        <translation>エネルギー間位置合わせ</translation>
    </message>
    <message>
        <source>XANES Maps</source>
        <translation>XANES マップ</translation>
    </message>
    <message>
        <source>XANES</source>
        <translation>XANES</translation>
    </message>
    <message>
        <source>Setup saved: %1</source>
        <translation>設定を保存しました: %1</translation>
    </message>
    <message>
        <source>A data set is loaded. Load the data set this setup was saved with in its place?
%1
No: the loaded set is kept and only the settings are applied.</source>
        <translation>データセットが読み込まれています。この設定を保存したときのデータセットを代わりに読み込みますか?
%1
いいえ: 読み込み済みのデータセットを保持し、設定だけを適用します。</translation>
    </message>
    <message>
        <source>Undone: the centre of rotation is %1 again</source>
        <translation>取り消し: 回転中心を %1 に戻しました</translation>
    </message>
    <message>
        <source>Undone: the slice is %1 again</source>
        <translation>取り消し: スライスを %1 に戻しました</translation>
    </message>
    <message>
        <source>Undone: the slice range is %1 to %2 again, with its regions</source>
        <translation>取り消し: スライス範囲を %1 〜 %2 に、領域とともに戻しました</translation>
    </message>
    <message>
        <source>can&apos;t open save setup file : %1</source>
        <translation>セットアップファイルを開けません : %1</translation>
    </message>
    <message>
        <source>can&apos;t open save setup file : %1 (%2)</source>
        <translation>セットアップファイルを開けません : %1 (%2)</translation>
    </message>
    <message>
        <source>CoR Scan: centre of rotation %1 taken</source>
        <translation>中心スキャン: 回転中心 %1 を採用しました</translation>
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
    <message>
        <source>Upper bound of the colour bar</source>
        <translation>カラーバーの上限</translation>
    </message>
    <message>
        <source>Lower bound of the colour bar</source>
        <translation>カラーバーの下限</translation>
    </message>
    <message>
        <source>Keep these bounds for new pictures</source>
        <translation>新しい画像でもこの範囲を保持</translation>
    </message>
</context>
<context>
    <name>CorChoice</name>
    <message>
        <source>the searches disagree and neither slice could be reconstructed to compare them (%1): the %2 centre %3 is used</source>
        <translation>二つの探索が一致せず、比べるためのスライスをどちらも再構成できません (%1): %2 の中心 %3 を使用</translation>
    </message>
    <message>
        <source>the searches disagree and the slice at %1 could not be reconstructed (%2): the %3 centre %4 is used</source>
        <translation>二つの探索が一致せず、%1 でのスライスを再構成できません (%2): %3 の中心 %4 を使用</translation>
    </message>
    <message>
        <source>the slice is sharper at the %1 centre %2 than at the %3 centre %4 (score %5 against %6, lower is sharper): the %1 centre is used</source>
        <translation>%1 の中心 %2 でのスライスが %3 の中心 %4 より鮮明です (スコア %5 対 %6、低いほど鮮明): %1 の中心を使用</translation>
    </message>
    <message>
        <source>the guess was called off</source>
        <translation>推定は取り消されました</translation>
    </message>
</context>
<context>
    <name>CorScan</name>
    <message>
        <source>CoR Scan</source>
        <translation>中心スキャン</translation>
    </message>
    <message>
        <source>From</source>
        <translation>開始</translation>
    </message>
    <message>
        <source>CoR - 5</source>
        <translation>中心 - 5</translation>
    </message>
    <message>
        <source>To</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>CoR + 5</source>
        <translation>中心 + 5</translation>
    </message>
    <message>
        <source>Step</source>
        <translation>間隔</translation>
    </message>
    <message>
        <source>Scan</source>
        <translation>スキャン</translation>
    </message>
    <message>
        <source>Reconstruct the current slice at every centre of the range on the calculation workers</source>
        <translation>現在のスライスを範囲内の各中心で計算スレッドにより再構成します</translation>
    </message>
    <message>
        <source>Arrow keys or the wheel over the picture step through the trials; Enter, a double click or a click on the picture takes the centre</source>
        <translation>矢印キーまたは画像上のホイールで試行を切り替え、Enter・ダブルクリック・画像のクリックでその中心を採用します</translation>
    </message>
    <message>
        <source>The first centre of rotation of the scan (empty: the current centre − 5)</source>
        <translation>スキャンの最初の回転中心 (空欄: 現在の中心 − 5)</translation>
    </message>
    <message>
        <source>The last centre of rotation of the scan (empty: the current centre + 5)</source>
        <translation>スキャンの最後の回転中心 (空欄: 現在の中心 + 5)</translation>
    </message>
    <message>
        <source>The step between the centres of the scan, in pixels</source>
        <translation>スキャンの中心の間隔 (ピクセル)</translation>
    </message>
</context>
<context>
    <name>CorScanController</name>
    <message>
        <source>stopping</source>
        <translation>停止中</translation>
    </message>
    <message>
        <source>0 of %1 trials</source>
        <translation>試行 0 / %1</translation>
    </message>
    <message>
        <source>CoR scan trials</source>
        <translation>中心スキャンの試行</translation>
    </message>
    <message>
        <source>%1 of %2 trials</source>
        <translation>試行 %1 / %2</translation>
    </message>
    <message>
        <source>stopped, best so far %1</source>
        <translation>停止、これまでの最良 %1</translation>
    </message>
    <message>
        <source>best %1</source>
        <translation>最良 %1</translation>
    </message>
    <message>
        <source>no trial</source>
        <translation>試行なし</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>CoR Scan: slice %1 at %2 centres from %3 to %4</source>
        <translation>中心スキャン: スライス %1 を %3 〜 %4 の %2 個の中心で</translation>
    </message>
    <message>
        <source>CoR Scan: trial at %1 not reconstructed: %2</source>
        <translation>中心スキャン: %1 の試行は再構成されませんでした: %2</translation>
    </message>
    <message>
        <source>CoR Scan: centre %1, score %2, best</source>
        <translation>中心スキャン: 中心 %1、スコア %2、最良</translation>
    </message>
    <message>
        <source>CoR Scan: centre %1, score %2</source>
        <translation>中心スキャン: 中心 %1、スコア %2</translation>
    </message>
    <message>
        <source>CoR Scan: best centre of rotation %1</source>
        <translation>中心スキャン: 最良の回転中心 %1</translation>
    </message>
    <message>
        <source>CoR Scan: no trial was reconstructed</source>
        <translation>中心スキャン: 再構成された試行はありません</translation>
    </message>
    <message>
        <source>CoR Scan stopped after %1 of %2 trials</source>
        <translation>中心スキャンを試行 %1 / %2 で停止しました</translation>
    </message>
    <message>
        <source>CoR Scan: wrote %1</source>
        <translation>中心スキャン: %1 を書き出しました</translation>
    </message>
    <message>
        <source>CoR Scan: can&apos;t save %1</source>
        <translation>中心スキャン: 保存できません %1</translation>
    </message>
</context>
<context>
    <name>CorScanPanel</name>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Scan</source>
        <translation>スキャン</translation>
    </message>
    <message>
        <source>%1 best</source>
        <translation>%1 最良</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>失敗</translation>
    </message>
    <message>
        <source>shown: %1</source>
        <translation>表示: %1</translation>
    </message>
</context>
<context>
    <name>CtCalc</name>
    <message>
        <source>CT Calc</source>
        <translation>CT 計算</translation>
    </message>
    <message>
        <source>Disp R.</source>
        <translation>表示範囲</translation>
    </message>
    <message>
        <source>Set To C. Region</source>
        <translation>計算範囲に設定</translation>
    </message>
    <message>
        <source>Cacl R.</source>
        <translation>計算範囲</translation>
    </message>
    <message>
        <source>Calc</source>
        <translation>計算</translation>
    </message>
    <message>
        <source>At Once</source>
        <translation>一括</translation>
    </message>
    <message>
        <source>Slice No.</source>
        <translation>スライス番号</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>開始</translation>
    </message>
    <message>
        <source>End</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>Spent [sec]</source>
        <translation>所要時間 [秒]</translation>
    </message>
    <message>
        <source>Display region: first column</source>
        <translation>表示領域: 最初の列</translation>
    </message>
    <message>
        <source>Display region: first row</source>
        <translation>表示領域: 最初の行</translation>
    </message>
    <message>
        <source>Display region: last column</source>
        <translation>表示領域: 最後の列</translation>
    </message>
    <message>
        <source>Display region: last row</source>
        <translation>表示領域: 最後の行</translation>
    </message>
    <message>
        <source>Calculate only the region shown</source>
        <translation>表示中の領域だけを計算</translation>
    </message>
    <message>
        <source>Calculation region: first column</source>
        <translation>計算領域: 最初の列</translation>
    </message>
    <message>
        <source>Calculation region: first row</source>
        <translation>計算領域: 最初の行</translation>
    </message>
    <message>
        <source>Calculation region: last column</source>
        <translation>計算領域: 最後の列</translation>
    </message>
    <message>
        <source>Calculation region: last row</source>
        <translation>計算領域: 最後の行</translation>
    </message>
    <message>
        <source>Calculate the current slice</source>
        <translation>現在のスライスを計算</translation>
    </message>
    <message>
        <source>Calculate again whenever the slice or the centre changes</source>
        <translation>スライスや中心が変わるたびに再計算</translation>
    </message>
    <message>
        <source>Slice shown; red: it could not be made (the tooltip says why)</source>
        <translation>表示中のスライス。赤: 作成できなかった (理由はツールチップ)</translation>
    </message>
    <message>
        <source>When this slice started</source>
        <translation>このスライスの開始時刻</translation>
    </message>
    <message>
        <source>When this slice ended</source>
        <translation>このスライスの終了時刻</translation>
    </message>
    <message>
        <source>Seconds this slice took</source>
        <translation>このスライスにかかった秒数</translation>
    </message>
</context>
<context>
    <name>CtDisp</name>
    <message>
        <source>CT display</source>
        <translation>CT 表示</translation>
    </message>
    <message>
        <source>Slice</source>
        <translation>スライス</translation>
    </message>
    <message>
        <source>Square Pixels</source>
        <translation>正方画素</translation>
    </message>
    <message>
        <source>Draw the image with square pixels; off: stretched over the whole display</source>
        <translation>画素を正方形で表示します。オフ: 表示領域全体に引き伸ばして表示</translation>
    </message>
    <message>
        <source>Slice shown from the results; type a slice number to show it (or the nearest there is)</source>
        <translation>結果から表示するスライス。スライス番号を入力するとそのスライス (なければ最も近いスライス) を表示</translation>
    </message>
</context>
<context>
    <name>CtView</name>
    <message>
        <source>Reconstructed Body View</source>
        <translation>再構成像の立体表示</translation>
    </message>
    <message>
        <source>Drag to turn (near an edge: about the viewing direction), Shift-drag or right-drag to move, wheel to zoom</source>
        <translation>ドラッグで回転 (端では視線方向まわり)、Shift+ドラッグまたは右ドラッグで移動、ホイールで拡大縮小</translation>
    </message>
    <message>
        <source>Img Size in Pix</source>
        <translation>画像サイズ(pix)</translation>
    </message>
    <message>
        <source>Add Slice Set</source>
        <translation>スライスセット追加</translation>
    </message>
    <message>
        <source>Link C. Section</source>
        <translation>断面を連動</translation>
    </message>
    <message>
        <source>Save Image</source>
        <translation>画像保存</translation>
    </message>
    <message>
        <source>Any (* *.*)</source>
        <translation>すべて (* *.*)</translation>
    </message>
    <message>
        <source>display</source>
        <translation>表示</translation>
    </message>
    <message>
        <source>Picture size in pixels; empty: the display&apos;s size. Turning the view works at 256 at most</source>
        <translation>画像のピクセル数: 空欄なら表示領域の大きさ。回転中は最大 256 で描画</translation>
    </message>
    <message>
        <source>Add another slice set to the view</source>
        <translation>スライスセットを追加</translation>
    </message>
    <message>
        <source>Move the cross-sections of all sets together</source>
        <translation>全セットの断面を連動</translation>
    </message>
    <message>
        <source>Save the picture (PNG when the name has no known suffix; SVG too)</source>
        <translation>画像を保存 (既知の拡張子がなければ PNG。SVG も可)</translation>
    </message>
    <message>
        <source>Save the picture as %1 or svg by the name&apos;s suffix (png without one)</source>
        <translation>名前の拡張子で %1 または svg として画像を保存 (拡張子がなければ png)</translation>
    </message>
</context>
<context>
    <name>I0ofImage</name>
    <message>
        <source>I0</source>
        <translation>I0</translation>
    </message>
    <message>
        <source>Calc from XAFS file</source>
        <translation>XAFS ファイルから計算</translation>
    </message>
    <message>
        <source>Eng. Ptn in Img F. Name :</source>
        <translation>画像ファイル名のエネルギー形式 :</translation>
    </message>
    <message>
        <source>I0 value used when it is not taken from an XAFS file</source>
        <translation>XAFS ファイルから取らない場合の I0 値</translation>
    </message>
    <message>
        <source>Take I0 from the XAFS file at the image&apos;s energy</source>
        <translation>画像のエネルギーでの I0 を XAFS ファイルから取る</translation>
    </message>
    <message>
        <source>Where the energy is in the image file name (# marks its digits)</source>
        <translation>画像ファイル名中のエネルギーの位置 (# が数字)</translation>
    </message>
</context>
<context>
    <name>JobOutcome</name>
    <message>
        <source>%1 failed</source>
        <translation>%1 件失敗</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>%1 not done</source>
        <translation>%1 件未完了</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 / %2</translation>
    </message>
    <message>
        <source>done</source>
        <translation>完了</translation>
    </message>
</context>
<context>
    <name>LinkController</name>
    <message>
        <source>2dZelmap is not connected: the continuous 2DA run does not start</source>
        <translation>2dZelmap に接続されていません: 連続 2DA を開始しません</translation>
    </message>
    <message>
        <source>Continuous 2DA from slice %1 to %2, step %3</source>
        <translation>連続 2DA: スライス %1 から %2 まで、間隔 %3</translation>
    </message>
    <message>
        <source>%1 of %2 slices analysed</source>
        <translation>%2 スライス中 %1 スライスを解析</translation>
    </message>
    <message>
        <source>Continuous 2DA finished at slice %1, %2</source>
        <translation>連続 2DA がスライス %1 で終了しました、%2</translation>
    </message>
    <message>
        <source>Continuous 2DA %1 at slice %2, %3</source>
        <translation>連続 2DA: %1 (スライス %2)、%3</translation>
    </message>
    <message>
        <source>Continuous 2DA failed at slice %1: %2; %3</source>
        <translation>連続 2DA がスライス %1 で失敗しました: %2; %3</translation>
    </message>
</context>
<context>
    <name>LoadController</name>
    <message>
        <source>waits</source>
        <translation>待機中</translation>
    </message>
    <message>
        <source>Loading files</source>
        <translation>ファイル読込</translation>
    </message>
    <message>
        <source>%1 refused</source>
        <translation>%1 件不可</translation>
    </message>
    <message>
        <source>no files</source>
        <translation>ファイルなし</translation>
    </message>
    <message>
        <source>last slice %1</source>
        <translation>最終スライス %1</translation>
    </message>
    <message>
        <source>first slice %1</source>
        <translation>開始スライス %1</translation>
    </message>
    <message>
        <source>slice %1</source>
        <translation>スライス %1</translation>
    </message>
    <message>
        <source>centre of rotation %1</source>
        <translation>回転中心 %1</translation>
    </message>
    <message>
        <source>region %1, %2 - %3, %4</source>
        <translation>領域 %1, %2 - %3, %4</translation>
    </message>
    <message>
        <source>Kept conditions that do not fit the new images (%1 x %2) are reset to its defaults: %3</source>
        <translation>保持した条件のうち新しい画像 (%1 x %2) に合わないものを既定値に戻しました: %3</translation>
    </message>
    <message>
        <source>A load is in progress: the %1 files selected now are not loaded</source>
        <translation>読み込み中です: 今選択した %1 個のファイルは読み込みません</translation>
    </message>
    <message>
        <source>; the %1 images loaded before stay</source>
        <translation>。先に読み込んだ %1 枚の画像はそのまま残ります</translation>
    </message>
    <message>
        <source>Loading failed: %1 of %2 files could not be used, %3 images are loaded%4: %5</source>
        <translation>読み込み失敗: %2 個中 %1 個のファイルを使えず、読み込んだ画像は %3 枚です%4: %5</translation>
    </message>
    <message>
        <source>Loading: no file was selected; nothing is loaded%1</source>
        <translation>読み込み: ファイルが選択されていないため何も読み込みません%1</translation>
    </message>
    <message>
        <source>%1 images of %2 x %3 loaded : %4</source>
        <translation>%2 x %3 の画像を %1 枚読み込みました : %4</translation>
    </message>
    <message>
        <source>Raw images cleared: the next load sets the image size</source>
        <translation>生画像を消去しました: 次の読み込みで画像サイズが決まります</translation>
    </message>
    <message>
        <source>Scan file refused (%1) : %2</source>
        <translation>スキャンファイルを使えません (%1) : %2</translation>
    </message>
    <message>
        <source>Scan file refused: %1 : %2</source>
        <translation>スキャンファイルを使えません: %1 : %2</translation>
    </message>
    <message>
        <source>Scan file, %1: %2 projections of %3 x %4, %5 flats, %6 darks%7 : %8</source>
        <translation>スキャンファイル、%1: %3 x %4 の投影 %2 枚、フラット %5 枚、ダーク %6 枚%7 : %8</translation>
    </message>
    <message>
        <source>, %1 invalid frames left out</source>
        <translation>、無効なフレーム %1 枚を除外</translation>
    </message>
    <message>
        <source>%1: the chosen file is kept, the %2 of %3 are not used : %4</source>
        <translation>%1: 選択したファイルを使い、%3 の %2 は使いません : %4</translation>
    </message>
    <message>
        <source>%1: the chosen file (%2 x %3) does not fit the frames of %4 (%5 x %6) : %7</source>
        <translation>%1: 選択したファイル (%2 x %3) は %4 のフレーム (%5 x %6) に合いません : %7</translation>
    </message>
    <message>
        <source>%1 not taken from the scan (%2) : %3</source>
        <translation>%1 をスキャンから取れません (%2) : %3</translation>
    </message>
    <message>
        <source>%1 image %2</source>
        <translation>%1 画像 %2</translation>
    </message>
    <message>
        <source>Only %1 of the %2 images record their angle: the data set&apos;s range and image count are left as set</source>
        <translation>%2 枚中 %1 枚しか角度を記録していません: データセットの範囲と枚数は設定のままです</translation>
    </message>
    <message>
        <source>Loading: the angles of the %1 images cannot be used: %2</source>
        <translation>読み込み: %1 枚の画像の角度は使えません: %2</translation>
    </message>
    <message>
        <source>Angles of the scan: %1; data set range %2, images %3</source>
        <translation>スキャンの角度: %1; データセット範囲 %2、枚数 %3</translation>
    </message>
    <message>
        <source>Angle origin %1 degrees: the first recorded angle</source>
        <translation>角度原点 %1 度: 最初に記録された角度</translation>
    </message>
</context>
<context>
    <name>MessagesPane</name>
    <message>
        <source>Messages of the program appear here.</source>
        <translation>プログラムのメッセージがここに表示されます。</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>クリア</translation>
    </message>
</context>
<context>
    <name>NumberField</name>
    <message>
        <source>Not a whole number: read as 0</source>
        <translation>整数ではありません: 0 として読みます</translation>
    </message>
    <message>
        <source>Not a number: read as 0</source>
        <translation>数値ではありません: 0 として読みます</translation>
    </message>
</context>
<context>
    <name>PopDockBase</name>
    <message>
        <source>Pop/Dock</source>
        <translation>分離/格納</translation>
    </message>
    <message>
        <source>Show this page in a window of its own, or back in its place</source>
        <translation>このページを別ウィンドウで表示、または元の位置に戻す</translation>
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
    <message>
        <source>Square Pixels</source>
        <translation>正方画素</translation>
    </message>
    <message>
        <source>Draw the image with square pixels; off: stretched over the whole display</source>
        <translation>画素を正方形で表示します。オフ: 表示領域全体に引き伸ばして表示</translation>
    </message>
    <message>
        <source>Column under the cursor</source>
        <translation>カーソル位置の列</translation>
    </message>
    <message>
        <source>Row under the cursor</source>
        <translation>カーソル位置の行</translation>
    </message>
    <message>
        <source>Value under the cursor</source>
        <translation>カーソル位置の値</translation>
    </message>
    <message>
        <source>Show the whole picture again (Ctrl+0 on the projection)</source>
        <translation>画像全体を再表示 (投影では Ctrl+0)</translation>
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
    <message>
        <source>Filter and back-project in 32-bit floats: about twice as fast, within 1e-5 of each slice&apos;s value range</source>
        <translation>フィルタと逆投影を 32 ビット浮動小数点で計算します: 約 2 倍速く、各スライスの値の範囲の 1e-5 以内</translation>
    </message>
    <message>
        <source>Single</source>
        <translation>単精度</translation>
    </message>
    <message>
        <source>Use Recorded CoRs</source>
        <translation>記録した中心を使用</translation>
    </message>
    <message>
        <source>Each slice at the centre of rotation on the line through the two records (a tilted axis)</source>
        <translation>各スライスを二つの記録を結ぶ直線上の回転中心で再構成します (傾いた回転軸)</translation>
    </message>
    <message>
        <source>Guess along range</source>
        <translation>範囲で推定</translation>
    </message>
    <message>
        <source>Guess the centre of rotation at slices spread over From ... To and record the line fitted through them</source>
        <translation>開始 ... 終了 に散らばるスライスで回転中心を推定し、当てはめた直線を記録します</translation>
    </message>
    <message>
        <source>slices</source>
        <translation>スライス</translation>
    </message>
    <message>
        <source>Ring Removal</source>
        <translation>リング除去</translation>
    </message>
    <message>
        <source>Take stripes out of each sinogram before filtering: detector columns that the I0 correction does not even out draw rings into the slices</source>
        <translation>フィルタ処理の前に各サイノグラムから縦縞を除去します。I0 補正で均されない検出器の列はスライスにリングを描きます</translation>
    </message>
    <message>
        <source>All (recommended)</source>
        <translation>すべて (推奨)</translation>
    </message>
    <message>
        <source>Small, partial (sorting)</source>
        <translation>小・部分 (ソート)</translation>
    </message>
    <message>
        <source>Large</source>
        <translation>大</translation>
    </message>
    <message>
        <source>Dead columns</source>
        <translation>不感列</translation>
    </message>
    <message>
        <source>SNR</source>
        <translation>SNR</translation>
    </message>
    <message>
        <source>A column is a stripe when it stands out this many times the noise</source>
        <translation>ノイズのこの倍数以上突出した列を縞とみなします</translation>
    </message>
    <message>
        <source>Columns compared with each column for large stripes (odd)</source>
        <translation>大きな縞の判定で各列と比べる列数 (奇数)</translation>
    </message>
    <message>
        <source>Small</source>
        <translation>小</translation>
    </message>
    <message>
        <source>Columns compared with each column for small stripes (odd)</source>
        <translation>小さな縞の判定で各列と比べる列数 (奇数)</translation>
    </message>
    <message>
        <source>The slice calculated; a left click on the projection picks it</source>
        <translation>計算するスライス。投影を左クリックで選択</translation>
    </message>
    <message>
        <source>The centre of rotation in pixels; a right click on the projection picks it</source>
        <translation>回転中心 (ピクセル)。投影を右クリックで選択</translation>
    </message>
    <message>
        <source>The rotation axis runs across the projection</source>
        <translation>回転軸が投影の横方向</translation>
    </message>
    <message>
        <source>The rotation axis runs down the projection</source>
        <translation>回転軸が投影の縦方向</translation>
    </message>
    <message>
        <source>Angle of the first projection, degrees</source>
        <translation>最初の投影の角度 (度)</translation>
    </message>
    <message>
        <source>Angle the projections cover, degrees</source>
        <translation>投影が覆う角度 (度)</translation>
    </message>
    <message>
        <source>Projections loaded</source>
        <translation>読み込んだ投影の数</translation>
    </message>
    <message>
        <source>Use only part of the projections</source>
        <translation>投影の一部だけを使う</translation>
    </message>
    <message>
        <source>First projection used</source>
        <translation>使う最初の投影</translation>
    </message>
    <message>
        <source>Projections used</source>
        <translation>使う投影の数</translation>
    </message>
    <message>
        <source>Workers calculating at once</source>
        <translation>同時に計算するワーカー数</translation>
    </message>
    <message>
        <source>Calculate the whole slice range, not just the current slice</source>
        <translation>現在のスライスだけでなくスライス範囲全体を計算</translation>
    </message>
    <message>
        <source>First slice of the range; a Shift-drag on the projection sets it</source>
        <translation>範囲の最初のスライス。投影の Shift+ドラッグで設定</translation>
    </message>
    <message>
        <source>Last slice of the range; a Shift-drag on the projection sets it</source>
        <translation>範囲の最後のスライス。投影の Shift+ドラッグで設定</translation>
    </message>
    <message>
        <source>Step between slices of the range</source>
        <translation>範囲内のスライスの間隔</translation>
    </message>
    <message>
        <source>Record the centre of rotation at this slice (two records tilt the axis)</source>
        <translation>このスライスの回転中心を記録 (2 つの記録で軸の傾きを補間)</translation>
    </message>
    <message>
        <source>First recorded slice and centre of rotation</source>
        <translation>1 つ目に記録したスライスと回転中心</translation>
    </message>
    <message>
        <source>Forget the recorded centres of rotation</source>
        <translation>記録した回転中心を消去</translation>
    </message>
    <message>
        <source>Second recorded slice and centre of rotation</source>
        <translation>2 つ目に記録したスライスと回転中心</translation>
    </message>
    <message>
        <source>The number of slices at which Guess along range guesses the centre</source>
        <translation>範囲に沿った推定で中心を推定するスライスの数</translation>
    </message>
    <message>
        <source>The stripes taken out: All (recommended), small ones by sorting, large ones, or dead columns only</source>
        <translation>除去する縞: すべて (推奨)、ソートによる小さな縞、大きな縞、または不感列のみ</translation>
    </message>
    <message>
        <source>Offset axis (360°)</source>
        <translation>オフセット軸 (360°)</translation>
    </message>
    <message>
        <source>A 360° scan with the rotation axis near one edge of the detector: each slice is stitched from the projections facing each other, twice as wide as the detector</source>
        <translation>回転軸を検出器の端近くに置いた 360° スキャン: 各スライスは向かい合う投影をつなぎ合わせて作られ、検出器の約 2 倍の幅になります</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>自動</translation>
    </message>
    <message>
        <source>Find the axis in the data before each run; unchecked, the Center field is the axis (in columns of the recorded projections)</source>
        <translation>計算のたびにデータから回転軸を求めます。チェックしないときは Center 欄の値が回転軸です (記録された投影の列単位)</translation>
    </message>
</context>
<context>
    <name>ProgressLine</name>
    <message>
        <source>%1 left</source>
        <translation>残り %1</translation>
    </message>
    <message>
        <source>done</source>
        <translation>完了</translation>
    </message>
</context>
<context>
    <name>RunController</name>
    <message>
        <source>stopped</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>waits for loading</source>
        <translation>読込待ち</translation>
    </message>
    <message>
        <source>waits for the last run</source>
        <translation>前回の計算待ち</translation>
    </message>
    <message>
        <source>CT1 slice</source>
        <translation>CT1 スライス</translation>
    </message>
    <message>
        <source>CT2 slices</source>
        <translation>CT2 スライス</translation>
    </message>
    <message>
        <source>CT2 slice</source>
        <translation>CT2 スライス</translation>
    </message>
    <message>
        <source>CT1 projections</source>
        <translation>CT1 投影</translation>
    </message>
    <message>
        <source>no axis</source>
        <translation>軸なし</translation>
    </message>
    <message>
        <source>axis %1, overlap %2 px, %3 edge</source>
        <translation>軸 %1、重なり %2 px、%3端</translation>
    </message>
    <message>
        <source>right</source>
        <translation>右</translation>
    </message>
    <message>
        <source>left</source>
        <translation>左</translation>
    </message>
    <message>
        <source>CT1 saves no files: select CT2</source>
        <translation>CT1 はファイルを保存しません: CT2 を選んでください</translation>
    </message>
    <message>
        <source>Auto Exec runs on CT2 only: CT1 calculates the current slice</source>
        <translation>連続実行は CT2 のみ: CT1 は現在のスライスを計算します</translation>
    </message>
    <message>
        <source>Use Recorded CoRs: each slice at its centre on the line through %1 at slice %2 and %3 at slice %4</source>
        <translation>記録した中心を使用: 各スライスを、スライス %2 の %1 とスライス %4 の %3 を通る直線上の中心で計算します</translation>
    </message>
    <message>
        <source>Use Recorded CoRs: the two records are not two different slices; every slice takes the centre-of-rotation field</source>
        <translation>記録した中心を使用: 二つの記録が別々のスライスではないため、すべてのスライスに回転中心欄の値を使います</translation>
    </message>
    <message>
        <source>Use Recorded CoRs: an offset axis is one axis for every slice; the records are not used</source>
        <translation>記録した中心を使用: オフセット軸は全スライスで一つの軸のため、記録は使いません</translation>
    </message>
    <message>
        <source>%1 image not used for this run: its size (%2, %3) differs from the raw images (%4, %5) : %6</source>
        <translation>%1 画像はこの計算に使いません: サイズ (%2, %3) が生画像 (%4, %5) と異なります : %6</translation>
    </message>
    <message>
        <source>No I0 and no BG image is selected: the slices are -ln of the raw counts</source>
        <translation>I0 画像も BG 画像も選択されていません: スライスは生のカウントの -ln です</translation>
    </message>
    <message>
        <source>No %1 image is selected: the slices are not corrected for it</source>
        <translation>%1 画像が選択されていません: スライスはその補正なしです</translation>
    </message>
    <message>
        <source>CT2 run: memory for %1 of %2 threads</source>
        <translation>CT2 計算: メモリは %2 スレッド中 %1 スレッド分です</translation>
    </message>
    <message>
        <source>Can&apos;t make the directory to save in : %1</source>
        <translation>保存先のフォルダを作れません : %1</translation>
    </message>
    <message>
        <source>%1 run stopped after %2 s</source>
        <translation>%1 計算を %2 秒で停止しました</translation>
    </message>
    <message>
        <source>%1 run finished after %2 s</source>
        <translation>%1 計算が %2 秒で終了しました</translation>
    </message>
    <message>
        <source>%1 run failed after %2 s</source>
        <translation>%1 計算が %2 秒で失敗しました</translation>
    </message>
    <message>
        <source>CT2: %1</source>
        <translation>CT2: %1</translation>
    </message>
    <message>
        <source>Can&apos;t save TIFF file : %1 (%2)</source>
        <translation>TIFF ファイルを保存できません : %1 (%2)</translation>
    </message>
    <message>
        <source>Can&apos;t save data file : %1 (%2)</source>
        <translation>データファイルを保存できません : %1 (%2)</translation>
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
    <message>
        <source>The projection shown (Alt+Right / Alt+Left)</source>
        <translation>表示中の投影 (Alt+Right / Alt+Left)</translation>
    </message>
    <message>
        <source>Number of the projection shown</source>
        <translation>表示中の投影の番号</translation>
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
    <message>
        <source>Choose the file</source>
        <translation>ファイルを選択</translation>
    </message>
    <message>
        <source>The file chosen; red: it cannot be used</source>
        <translation>選択したファイル。赤: 使えない</translation>
    </message>
    <message>
        <source>What the file is for</source>
        <translation>ファイルの用途</translation>
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
    <message>
        <source>Exposure time of this image, seconds</source>
        <translation>この画像の露光時間 (秒)</translation>
    </message>
    <message>
        <source>Show this image in its tab</source>
        <translation>この画像をタブに表示</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>クリア</translation>
    </message>
    <message>
        <source>Let this image go: the slices are not corrected for it</source>
        <translation>この画像を外す: スライスはこの画像で補正されません</translation>
    </message>
    <message>
        <source>from %1: its flat</source>
        <translation>%1 より: フラット 1 枚</translation>
    </message>
    <message>
        <source>from %1: its dark</source>
        <translation>%1 より: ダーク 1 枚</translation>
    </message>
    <message>
        <source>from %1: mean of %2 flats</source>
        <translation>%1 より: フラット %2 枚の平均</translation>
    </message>
    <message>
        <source>from %1: mean of %2 darks</source>
        <translation>%1 より: ダーク %2 枚の平均</translation>
    </message>
    <message>
        <source>Scan file, its %1 (*.h5 *.hdf5 *.hdf *.nxs)</source>
        <translation>スキャンファイルの%1 (*.h5 *.hdf5 *.hdf *.nxs)</translation>
    </message>
    <message>
        <source>flats</source>
        <translation>フラット</translation>
    </message>
    <message>
        <source>darks</source>
        <translation>ダーク</translation>
    </message>
    <message>
        <source>%1: scan file refused (%2) : %3</source>
        <translation>%1: スキャンファイルを使えません (%2) : %3</translation>
    </message>
    <message>
        <source>%1: the scan file has no flats : %2</source>
        <translation>%1: スキャンファイルにフラットがありません : %2</translation>
    </message>
    <message>
        <source>%1: the scan file has no darks : %2</source>
        <translation>%1: スキャンファイルにダークがありません : %2</translation>
    </message>
    <message>
        <source>%1 not taken from the scan (%2) : %3</source>
        <translation>%1 をスキャンから取れません (%2) : %3</translation>
    </message>
    <message>
        <source>%1 image %2</source>
        <translation>%1 画像 %2</translation>
    </message>
</context>
<context>
    <name>SelectDataDir</name>
    <message>
        <source>Pattern</source>
        <translation>パターン</translation>
    </message>
    <message>
        <source>Ormel Std.</source>
        <translation>Ormel 標準</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>設定</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>次へ</translation>
    </message>
    <message>
        <source>Sel. Data Dir.</source>
        <translation>データフォルダ選択</translation>
    </message>
    <message>
        <source>The data sets may differ in their number of images and file numbers (else such a set is not loaded: it misses projections)</source>
        <translation>データセットごとに画像の数とファイル番号が違ってもよい (そうでなければ、そのようなセットは投影像が欠けているので読み込まれません)</translation>
    </message>
    <message>
        <source>Uneven</source>
        <translation>不揃い可</translation>
    </message>
    <message>
        <source>same tag as set %1</source>
        <translation>セット %1 とタグが同じ</translation>
    </message>
    <message>
        <source>images missing</source>
        <translation>画像が欠落</translation>
    </message>
    <message>
        <source>no energy</source>
        <translation>エネルギーなし</translation>
    </message>
    <message>
        <source>I0 far</source>
        <translation>I0 が遠い</translation>
    </message>
    <message>
        <source>Data sets found in the folder</source>
        <translation>フォルダ内に見つかったデータセット</translation>
    </message>
    <message>
        <source>File name pattern of the projection files</source>
        <translation>投影ファイルのファイル名パターン</translation>
    </message>
    <message>
        <source>The folder is laid out as the beamline&apos;s standard series</source>
        <translation>フォルダがビームライン標準のシリーズ構成</translation>
    </message>
    <message>
        <source>Load the data set chosen</source>
        <translation>選択したデータセットを読み込む</translation>
    </message>
    <message>
        <source>Load the next data set</source>
        <translation>次のデータセットを読み込む</translation>
    </message>
    <message>
        <source>same energy as set %1</source>
        <translation>セット %1 とエネルギーが同じ</translation>
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
    <message>
        <source>%1 (%2 not loaded)</source>
        <translation>%1 (%2 件 読込失敗)</translation>
    </message>
    <message>
        <source>HDF5 / NeXus Scan File (*.h5 *.hdf5 *.nxs *.hdf)</source>
        <translation>HDF5 / NeXus スキャンファイル (*.h5 *.hdf5 *.nxs *.hdf)</translation>
    </message>
    <message>
        <source>Choose the projection files to load</source>
        <translation>読み込む投影ファイルを選択</translation>
    </message>
    <message>
        <source>Files loaded, in projection order</source>
        <translation>読み込んだファイル (投影順)</translation>
    </message>
    <message>
        <source>Let the images go; the next load sets the image size</source>
        <translation>画像を破棄。次の読み込みが画像サイズを決める</translation>
    </message>
    <message>
        <source>A load replaces the files loaded</source>
        <translation>読み込みで既存のファイルを置き換える</translation>
    </message>
    <message>
        <source>A load adds to the files loaded</source>
        <translation>読み込みで既存のファイルに追加</translation>
    </message>
    <message>
        <source>Take the first file of the selection many times (as many as the number beside)</source>
        <translation>選択の最初のファイルを何度も使う (右の数だけ)</translation>
    </message>
    <message>
        <source>How many times the first file is taken</source>
        <translation>最初のファイルを使う回数</translation>
    </message>
    <message>
        <source>Keep the slice, centre of rotation and regions on a new load</source>
        <translation>新しい読み込みでもスライス、回転中心、領域を保持</translation>
    </message>
    <message>
        <source>Exposure time of the projections, seconds</source>
        <translation>投影の露光時間 (秒)</translation>
    </message>
    <message>
        <source>Repeat 1st</source>
        <translation>先頭を反復</translation>
    </message>
    <message>
        <source>Select data files (Ctrl+A selects all)</source>
        <translation>データファイルを選択 (Ctrl+A ですべて選択)</translation>
    </message>
    <message>
        <source>Select data files (every file of the type is selected: Open loads them all)</source>
        <translation>データファイルの選択 (この種類のファイルをすべて選択済み: 開くですべて読み込みます)</translation>
    </message>
</context>
<context>
    <name>SelectDir</name>
    <message>
        <source>Sel. Dir</source>
        <translation>フォルダ選択</translation>
    </message>
    <message>
        <source>Select a directory</source>
        <translation>フォルダの選択</translation>
    </message>
    <message>
        <source>Choose the folder that holds the data sets</source>
        <translation>データセットのあるフォルダを選択</translation>
    </message>
    <message>
        <source>Folder that holds the data sets</source>
        <translation>データセットのあるフォルダ</translation>
    </message>
</context>
<context>
    <name>SelectSaveDir</name>
    <message>
        <source>Dir.</source>
        <translation>フォルダ</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名前</translation>
    </message>
    <message>
        <source>Tag</source>
        <translation>タグ</translation>
    </message>
    <message>
        <source>Directory to save in</source>
        <translation>保存先フォルダ</translation>
    </message>
    <message>
        <source>Choose the folder to save in</source>
        <translation>保存先フォルダを選択</translation>
    </message>
    <message>
        <source>Folder to save in; red: it cannot be written</source>
        <translation>保存先フォルダ。赤: 書き込めない</translation>
    </message>
    <message>
        <source>Name at the start of each file name</source>
        <translation>各ファイル名の先頭の名前</translation>
    </message>
    <message>
        <source>Tag after the name (the energy of a series)</source>
        <translation>名前の後のタグ (シリーズのエネルギー)</translation>
    </message>
</context>
<context>
    <name>SequenceController</name>
    <message>
        <source>Seq. Calc. refused: the files of sets that share a tag would overwrite each other (sets %1)</source>
        <translation>連続計算を拒否しました: タグが同じセットのファイルは互いに上書きされます (セット %1)</translation>
    </message>
    <message>
        <source>Seq. Calc.: %1 (%2 s after the last stage, %3 s in all)</source>
        <translation>連続計算: %1 (前の段階から %2 秒、合計 %3 秒)</translation>
    </message>
    <message>
        <source>Data set %1 is not loaded: a load is in progress</source>
        <translation>データセット %1 は読み込まれません: 読み込み中です</translation>
    </message>
    <message>
        <source>Data set %1 is not loaded: %2</source>
        <translation>データセット %1 は読み込まれません: %2</translation>
    </message>
    <message>
        <source>Data set %1 is not loaded: its I0 image %2 cannot be read</source>
        <translation>データセット %1 は読み込まれません: その I0 画像 %2 を読めません</translation>
    </message>
    <message>
        <source>Data set %1 loaded no image</source>
        <translation>データセット %1 は画像を読み込めませんでした</translation>
    </message>
    <message>
        <source>Data set %1 loaded %2 of %3 images</source>
        <translation>データセット %1 は %3 枚中 %2 枚しか読み込めませんでした</translation>
    </message>
    <message>
        <source>Seq. Calc. stopped: another calculation is running</source>
        <translation>連続計算を中止: 別の計算が実行中です</translation>
    </message>
    <message>
        <source>Seq. Calc. stopped: its calculation was called off</source>
        <translation>連続計算を中止: 計算が取り消されました</translation>
    </message>
    <message>
        <source>Align energies reads the slices saved: save the data files or Float TIFF</source>
        <translation>エネルギー間位置合わせは保存されたスライスを読みます: データファイルか Float TIFF を保存してください</translation>
    </message>
    <message>
        <source>Align energies needs a folder per energy: save in sub-folders &quot;of Energy&quot;</source>
        <translation>エネルギー間位置合わせにはエネルギーごとのフォルダが必要です: 「of Energy」のサブフォルダに保存してください</translation>
    </message>
    <message>
        <source>Align energies needs the data files&apos; folder</source>
        <translation>エネルギー間位置合わせにはデータファイルのフォルダが必要です</translation>
    </message>
    <message>
        <source>Align energies</source>
        <translation>エネルギー間位置合わせ</translation>
    </message>
    <message>
        <source>Aligning energies</source>
        <translation>エネルギー間位置合わせ中</translation>
    </message>
    <message>
        <source>Align energies: %1</source>
        <translation>エネルギー間位置合わせ: %1</translation>
    </message>
    <message>
        <source>energies not aligned: %1</source>
        <translation>位置合わせされなかったエネルギー: %1</translation>
    </message>
    <message>
        <source>energies</source>
        <translation>エネルギー</translation>
    </message>
    <message>
        <source>Seq. Calc.: %1</source>
        <translation>連続計算: %1</translation>
    </message>
    <message>
        <source>Seq. Calc.: %1 (%2)</source>
        <translation>連続計算: %1 (%2)</translation>
    </message>
    <message>
        <source>Seq. Calc. refused: %1</source>
        <translation>連続計算は開始されません: %1</translation>
    </message>
    <message>
        <source>Align energies: not started, the data sets are not all done</source>
        <translation>エネルギー間位置合わせ: 全データセットが完了していないため開始しません</translation>
    </message>
    <message>
        <source>data set %1: %2</source>
        <translation>データセット %1: %2</translation>
    </message>
    <message>
        <source>slices</source>
        <translation>スライス</translation>
    </message>
    <message>
        <source>Data set %1: %2</source>
        <translation>データセット %1: %2</translation>
    </message>
    <message>
        <source>Saved HDF5 file : %1 (%2 energies)</source>
        <translation>HDF5 ファイルを保存しました : %1 (%2 エネルギー)</translation>
    </message>
    <message>
        <source>Can&apos;t save HDF5 file : %1 (%2)</source>
        <translation>HDF5 ファイルを保存できません : %1 (%2)</translation>
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
    <message>
        <source>The centre of rotation in pixels</source>
        <translation>回転中心 (ピクセル)</translation>
    </message>
    <message>
        <source>Guess the centre of rotation from two facing projections</source>
        <translation>向かい合う 2 枚の投影から回転中心を推定</translation>
    </message>
    <message>
        <source>Make the sinogram of the current slice</source>
        <translation>現在のスライスのサイノグラムを作成</translation>
    </message>
    <message>
        <source>Also show the Fourier transform of the sinogram</source>
        <translation>サイノグラムのフーリエ変換も表示</translation>
    </message>
    <message>
        <source>Show what ring removal took out of the sinogram: the sinogram before it less the one after (ring removal on)</source>
        <translation>リング除去がサイノグラムから取り除いたもの (除去前のサイノグラムから除去後を引いたもの) を表示 (リング除去オン時)</translation>
    </message>
    <message>
        <source>Removed Stripes</source>
        <translation>除去した縞</translation>
    </message>
    <message>
        <source>no offset axis</source>
        <translation>オフセット軸なし</translation>
    </message>
    <message>
        <source>axis %1, overlap %2 px</source>
        <translation>軸 %1、重なり %2 px</translation>
    </message>
    <message>
        <source>The search whose centre Guess CoR takes when the two agree (when they differ by more than a pixel, the slice is reconstructed at both and the sharper is taken)</source>
        <translation>二つの探索が一致するときに「中心を推定」が採る方法 (1 ピクセルを超えて異なるときは両方でスライスを再構成し、鮮明な方を採ります)</translation>
    </message>
    <message>
        <source>Mirror</source>
        <translation>ミラー</translation>
    </message>
    <message>
        <source>Fourier</source>
        <translation>フーリエ</translation>
    </message>
    <message>
        <source>Take the centre of the mirror search (the projection facing the first)</source>
        <translation>ミラー探索 (最初の投影に向かい合う投影) の中心を採る</translation>
    </message>
    <message>
        <source>Mirror -</source>
        <translation>ミラー -</translation>
    </message>
    <message>
        <source>Take the centre of the Fourier search (the sinogram of 180 degrees)</source>
        <translation>フーリエ探索 (180 度のサイノグラム) の中心を採る</translation>
    </message>
    <message>
        <source>Fourier -</source>
        <translation>フーリエ -</translation>
    </message>
    <message>
        <source>Guess CoR: the %1 centre %2 is taken</source>
        <translation>中心を推定: %1 の中心 %2 を採りました</translation>
    </message>
    <message>
        <source>mirror</source>
        <translation>ミラー</translation>
    </message>
    <message>
        <source>Mirror %1</source>
        <translation>ミラー %1</translation>
    </message>
    <message>
        <source>Fourier %1</source>
        <translation>フーリエ %1</translation>
    </message>
    <message>
        <source>no %1 centre of rotation: %2</source>
        <translation>%1 の回転中心なし: %2</translation>
    </message>
    <message>
        <source>%1 taken: its slice is sharper</source>
        <translation>%1 を採用: スライスがより鮮明</translation>
    </message>
    <message>
        <source>%1 taken</source>
        <translation>%1 を採用</translation>
    </message>
    <message>
        <source>none taken</source>
        <translation>採用なし</translation>
    </message>
    <message>
        <source>Guess CoR: mirror %1, Fourier %2; the %3 centre is used</source>
        <translation>中心を推定: ミラー %1, フーリエ %2; %3 の中心を使用</translation>
    </message>
    <message>
        <source>Guess CoR: a guess is under way</source>
        <translation>中心を推定: 推定中です</translation>
    </message>
    <message>
        <source>guessing…</source>
        <translation>推定中…</translation>
    </message>
    <message>
        <source>called off</source>
        <translation>取り消し</translation>
    </message>
    <message>
        <source>Guess CoR: called off; the centre of rotation stays</source>
        <translation>中心を推定: 取り消しました。回転中心はそのままです</translation>
    </message>
    <message>
        <source>Guess CoR: the images changed while it ran; nothing is taken</source>
        <translation>中心を推定: 実行中に画像が変わったため、何も採用しません</translation>
    </message>
    <message>
        <source>Guess CoR: %1</source>
        <translation>中心を推定: %1</translation>
    </message>
</context>
<context>
    <name>SlicesCtrl</name>
    <message>
        <source>Slice Set</source>
        <translation>スライスセット</translation>
    </message>
    <message>
        <source>Show Setup %1</source>
        <translation>設定 %1 を表示</translation>
    </message>
    <message>
        <source>Select</source>
        <translation>選択</translation>
    </message>
    <message>
        <source>Range</source>
        <translation>範囲</translation>
    </message>
    <message>
        <source>min</source>
        <translation>最小</translation>
    </message>
    <message>
        <source>max</source>
        <translation>最大</translation>
    </message>
    <message>
        <source>Histogram of the values; drag the red lines to set the window</source>
        <translation>値のヒストグラム: 赤線をドラッグして表示範囲を設定</translation>
    </message>
    <message>
        <source>Show Frame</source>
        <translation>枠を表示</translation>
    </message>
    <message>
        <source>Show Volume</source>
        <translation>ボリュームを表示</translation>
    </message>
    <message>
        <source>Show C. Section</source>
        <translation>断面を表示</translation>
    </message>
    <message>
        <source>Fix Dir.</source>
        <translation>方向固定</translation>
    </message>
    <message>
        <source>Cross Section</source>
        <translation>断面</translation>
    </message>
    <message>
        <source>V Color</source>
        <translation>V 色</translation>
    </message>
    <message>
        <source>S Color</source>
        <translation>S 色</translation>
    </message>
    <message>
        <source>a</source>
        <translation>a</translation>
    </message>
    <message>
        <source>Opacity of the set, 0 to 255: 255 is opaque, 0 makes the set invisible</source>
        <translation>セットの不透明度 0〜255: 255 で不透明、0 で非表示</translation>
    </message>
    <message>
        <source>Select Data Files</source>
        <translation>データファイルを選択</translation>
    </message>
    <message>
        <source>Slice Files (*.dat *.tif *.tiff *.png)</source>
        <translation>スライスファイル (*.dat *.tif *.tiff *.png)</translation>
    </message>
    <message>
        <source>Any Files (* *.*)</source>
        <translation>すべてのファイル (* *.*)</translation>
    </message>
    <message>
        <source>Select Volume Color</source>
        <translation>ボリュームの色を選択</translation>
    </message>
    <message>
        <source>Select Section Color</source>
        <translation>断面の色を選択</translation>
    </message>
    <message>
        <source>Select Run…</source>
        <translation>実行を選択…</translation>
    </message>
    <message>
        <source>Select the Folder of a Run</source>
        <translation>実行の保存フォルダを選択</translation>
    </message>
    <message>
        <source>Show this set&apos;s controls</source>
        <translation>このセットの操作を表示</translation>
    </message>
    <message>
        <source>Hide this set&apos;s controls</source>
        <translation>このセットの操作を隠す</translation>
    </message>
    <message>
        <source>Choose slice files of one folder to stack</source>
        <translation>積み重ねる 1 フォルダのスライスファイルを選択</translation>
    </message>
    <message>
        <source>Stack the slices a run saved in a folder and its sub-folders</source>
        <translation>計算で保存したフォルダとサブフォルダのスライスを積み重ねる</translation>
    </message>
    <message>
        <source>Files of the stack, in order</source>
        <translation>スタックのファイル (順番)</translation>
    </message>
    <message>
        <source>Smallest value of the stack</source>
        <translation>スタックの最小値</translation>
    </message>
    <message>
        <source>Largest value of the stack</source>
        <translation>スタックの最大値</translation>
    </message>
    <message>
        <source>Lower end of the value window</source>
        <translation>値の表示範囲の下端</translation>
    </message>
    <message>
        <source>Lower end of the window, percent of the value range</source>
        <translation>表示範囲の下端 (値の範囲の %)</translation>
    </message>
    <message>
        <source>Upper end of the value window</source>
        <translation>値の表示範囲の上端</translation>
    </message>
    <message>
        <source>Upper end of the window, percent of the value range</source>
        <translation>表示範囲の上端 (値の範囲の %)</translation>
    </message>
    <message>
        <source>Draw the box of the stack</source>
        <translation>スタックの枠を描く</translation>
    </message>
    <message>
        <source>Draw the volume</source>
        <translation>ボリュームを描く</translation>
    </message>
    <message>
        <source>Draw the cross-section</source>
        <translation>断面を描く</translation>
    </message>
    <message>
        <source>Keep the cross-section&apos;s direction when the view turns</source>
        <translation>視点を回しても断面の向きを保持</translation>
    </message>
    <message>
        <source>Position of the cross-section</source>
        <translation>断面の位置</translation>
    </message>
    <message>
        <source>Colour of the volume</source>
        <translation>ボリュームの色</translation>
    </message>
    <message>
        <source>Colour of the cross-section</source>
        <translation>断面の色</translation>
    </message>
    <message>
        <source>Slice spacing</source>
        <translation>スライス間隔</translation>
    </message>
    <message>
        <source>Distance between neighbouring slices in pixels of a slice; Auto: from the slice numbers in the file names (1 when they have none)</source>
        <translation>隣り合うスライスの間隔 (スライスの画素単位)。自動: ファイル名のスライス番号から (番号がなければ 1)</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>自動</translation>
    </message>
    <message>
        <source>The spacing the stack is drawn with</source>
        <translation>描画に使うスライス間隔</translation>
    </message>
    <message>
        <source>%1 apart</source>
        <translation>間隔 %1</translation>
    </message>
    <message numerus="yes">
        <source>3D View: %n slices stacked %1 apart, as typed</source>
        <translation>
            <numerusform>3D 表示: %n 枚のスライスを入力どおり間隔 %1 で積み重ねました</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 apart or more</source>
        <translation>間隔 %1 以上</translation>
    </message>
    <message>
        <source>3D View: the slice numbers %1 … %2 are not evenly spaced; each slice is placed at its number (at least %3 apart)</source>
        <translation>3D 表示: スライス番号 %1 … %2 は等間隔ではありません。各スライスをその番号の位置に置きます (間隔 %3 以上)</translation>
    </message>
    <message>
        <source>3D View: slices %1 … %2 stacked %3 apart, by their numbers</source>
        <translation>3D 表示: スライス %1 … %2 を番号に従い間隔 %3 で積み重ねました</translation>
    </message>
    <message>
        <source>3D View: slices stacked 1 apart: a file name has no slice number</source>
        <translation>3D 表示: スライス番号のないファイル名があるため、間隔 1 で積み重ねました</translation>
    </message>
    <message>
        <source>3D View: slices stacked 1 apart: two files have one slice number</source>
        <translation>3D 表示: 同じスライス番号のファイルが二つあるため、間隔 1 で積み重ねました</translation>
    </message>
</context>
<context>
    <name>SpectrumPlot</name>
    <message>
        <source>%1 eV  μ %2  normalised %3</source>
        <translation>%1 eV  μ %2  規格化 %3</translation>
    </message>
    <message>
        <source>  fit %1</source>
        <translation>  フィット %1</translation>
    </message>
    <message>
        <source>Click a voxel of the map to see its spectrum</source>
        <translation>マップのボクセルをクリックするとそのスペクトルを表示します</translation>
    </message>
    <message>
        <source>μ, pre- and post-edge lines</source>
        <translation>μ、吸収端前・後の直線</translation>
    </message>
    <message>
        <source>normalised, fit</source>
        <translation>規格化スペクトル、フィット</translation>
    </message>
    <message>
        <source>energy (eV)</source>
        <translation>エネルギー (eV)</translation>
    </message>
</context>
<context>
    <name>Startup</name>
    <message>
        <source>No configuration file %1 here: built-in settings</source>
        <translation>設定ファイル %1 がありません: 組み込みの設定を使います</translation>
    </message>
</context>
<context>
    <name>TcpClient</name>
    <message>
        <source>Can&apos;t connect to %1 : %2 (trying again every %3 ms)</source>
        <translation>%1 に接続できません : %2 (%3 ms ごとに再試行)</translation>
    </message>
</context>
<context>
    <name>XafsBatch</name>
    <message>
        <source>Data Loading</source>
        <translation>データ読込</translation>
    </message>
    <message>
        <source>Loading first Data Set</source>
        <translation>最初のデータセットを読込中</translation>
    </message>
    <message>
        <source>Calculating</source>
        <translation>計算中</translation>
    </message>
    <message>
        <source>Finished Calc.</source>
        <translation>計算終了</translation>
    </message>
    <message>
        <source>Loading next Data Set</source>
        <translation>次のデータセットを読込中</translation>
    </message>
    <message>
        <source>Finished</source>
        <translation>終了</translation>
    </message>
</context>
<context>
    <name>XanesPanel</name>
    <message>
        <source>The series: an aligned.h5, a folder holding one (Align energies writes it), or a folder of energies taken as it is</source>
        <translation>系列: aligned.h5、それを含むフォルダ (エネルギー間位置合わせが書き出す)、またはそのまま使うエネルギーごとのフォルダ</translation>
    </message>
    <message>
        <source>Select...</source>
        <translation>選択...</translation>
    </message>
    <message>
        <source>Choose an aligned.h5 file</source>
        <translation>aligned.h5 ファイルを選ぶ</translation>
    </message>
    <message>
        <source>Last Sequence</source>
        <translation>直前の連続計算</translation>
    </message>
    <message>
        <source>The save folder of the last Seq. Calc.</source>
        <translation>直前の連続計算の保存フォルダ</translation>
    </message>
    <message>
        <source>Series</source>
        <translation>系列</translation>
    </message>
    <message>
        <source>The edge energy in eV; the ranges are counted from it</source>
        <translation>吸収端エネルギー (eV)。各範囲はここからの差で数えます</translation>
    </message>
    <message>
        <source>The pre-edge line&apos;s energies, eV from the edge (A:B)</source>
        <translation>吸収端前の直線のエネルギー範囲、吸収端からの eV (A:B)</translation>
    </message>
    <message>
        <source>The post-edge line&apos;s energies, eV from the edge (A:B; A: up to the last energy)</source>
        <translation>吸収端後の直線のエネルギー範囲、吸収端からの eV (A:B。A: は最後のエネルギーまで)</translation>
    </message>
    <message>
        <source>E0 and the white line are searched within this many eV of the edge</source>
        <translation>E0 とホワイトラインを吸収端からこの eV 以内で探します</translation>
    </message>
    <message>
        <source>The fit&apos;s energies, eV from the edge (A:B)</source>
        <translation>フィットのエネルギー範囲、吸収端からの eV (A:B)</translation>
    </message>
    <message>
        <source>Voxels whose edge jump is below this are masked (empty: 5 x the median pre-edge noise)</source>
        <translation>吸収端ジャンプがこれ未満のボクセルはマスクされます (空欄: 吸収端前ノイズの中央値の 5 倍)</translation>
    </message>
    <message>
        <source>The slices&apos; pixel size in micrometres: the edge jump in 1/cm (empty: in the slices&apos; unit)</source>
        <translation>スライスの画素サイズ (µm): 吸収端ジャンプを 1/cm で表します (空欄: スライスの単位)</translation>
    </message>
    <message>
        <source>Edge (eV)</source>
        <translation>吸収端 (eV)</translation>
    </message>
    <message>
        <source>Pre-edge</source>
        <translation>吸収端前</translation>
    </message>
    <message>
        <source>Post-edge</source>
        <translation>吸収端後</translation>
    </message>
    <message>
        <source>Window</source>
        <translation>探索幅</translation>
    </message>
    <message>
        <source>Min. jump</source>
        <translation>最小ジャンプ</translation>
    </message>
    <message>
        <source>Reference spectra for the linear-combination fit: NAME=FILE,NAME=FILE (two columns: energy, normalised absorption)</source>
        <translation>線形結合フィットの標準スペクトル: 名前=ファイル,名前=ファイル (2 列: エネルギー、規格化吸光度)</translation>
    </message>
    <message>
        <source>Add...</source>
        <translation>追加...</translation>
    </message>
    <message>
        <source>Add a standard&apos;s file, named after the file</source>
        <translation>標準試料のファイルを追加 (名前はファイル名から)</translation>
    </message>
    <message>
        <source>Sum to one</source>
        <translation>合計を 1 に</translation>
    </message>
    <message>
        <source>The fractions of the standards sum to 1</source>
        <translation>標準試料の割合の合計を 1 にします</translation>
    </message>
    <message>
        <source>Standards</source>
        <translation>標準試料</translation>
    </message>
    <message>
        <source>Fit</source>
        <translation>フィット</translation>
    </message>
    <message>
        <source>Pixel (um)</source>
        <translation>画素 (µm)</translation>
    </message>
    <message>
        <source>Analyse</source>
        <translation>解析</translation>
    </message>
    <message>
        <source>Make the maps of the series; a second click stops</source>
        <translation>系列のマップを作ります。もう一度クリックで停止</translation>
    </message>
    <message>
        <source>The map shown</source>
        <translation>表示するマップ</translation>
    </message>
    <message>
        <source>The slice shown</source>
        <translation>表示するスライス</translation>
    </message>
    <message>
        <source>Where Save Maps writes the files</source>
        <translation>マップ保存がファイルを書き出すフォルダ</translation>
    </message>
    <message>
        <source>Save Maps</source>
        <translation>マップ保存</translation>
    </message>
    <message>
        <source>Write the maps into the folder as quorvel-xanes does: a float TIFF stack, maps.h5 and a picture each</source>
        <translation>quorvel-xanes と同じくマップをフォルダに書き出します: float TIFF スタック、maps.h5、各マップの画像</translation>
    </message>
    <message>
        <source>Folder...</source>
        <translation>フォルダ...</translation>
    </message>
    <message>
        <source>Choose the maps&apos; folder</source>
        <translation>マップのフォルダを選ぶ</translation>
    </message>
    <message>
        <source>Map</source>
        <translation>マップ</translation>
    </message>
    <message>
        <source>Choose a series and its edge, then Analyse</source>
        <translation>系列と吸収端を選び、解析をクリックしてください</translation>
    </message>
    <message>
        <source>The aligned series</source>
        <translation>位置合わせ済みの系列</translation>
    </message>
    <message>
        <source>Aligned series (*.h5);;All files (*)</source>
        <translation>位置合わせ済みの系列 (*.h5);;すべてのファイル (*)</translation>
    </message>
    <message>
        <source>A standard&apos;s spectrum</source>
        <translation>標準試料のスペクトル</translation>
    </message>
    <message>
        <source>The maps&apos; folder</source>
        <translation>マップのフォルダ</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>XANES: an analysis or a save is under way</source>
        <translation>XANES: 解析または保存の実行中です</translation>
    </message>
    <message>
        <source>choose the series</source>
        <translation>系列を選んでください</translation>
    </message>
    <message>
        <source>%1 does not exist</source>
        <translation>%1 は存在しません</translation>
    </message>
    <message>
        <source>Not analysed: %1</source>
        <translation>解析されませんでした: %1</translation>
    </message>
    <message>
        <source>XANES maps not made: %1</source>
        <translation>XANES マップは作られませんでした: %1</translation>
    </message>
    <message>
        <source>Analysing %1</source>
        <translation>%1 を解析中</translation>
    </message>
    <message>
        <source>%1: %2 of %3 voxels analysed; the mask&apos;s threshold %4</source>
        <translation>%1: %3 ボクセル中 %2 を解析、マスクのしきい値 %4</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Stopped: no maps</source>
        <translation>停止しました: マップはありません</translation>
    </message>
    <message>
        <source>slice %1</source>
        <translation>スライス %1</translation>
    </message>
    <message>
        <source>Spectrum of voxel z %1 (slice %2), y %3, x %4</source>
        <translation>ボクセル z %1 (スライス %2), y %3, x %4 のスペクトル</translation>
    </message>
    <message>
        <source>No spectrum: %1</source>
        <translation>スペクトルなし: %1</translation>
    </message>
    <message>
        <source>no maps: analyse a series first</source>
        <translation>マップがありません: 先に系列を解析してください</translation>
    </message>
    <message>
        <source>the worker is busy</source>
        <translation>処理中です</translation>
    </message>
    <message>
        <source>no folder given</source>
        <translation>フォルダが指定されていません</translation>
    </message>
    <message>
        <source>Save Maps: %1</source>
        <translation>マップ保存: %1</translation>
    </message>
    <message>
        <source>Not saved: %1</source>
        <translation>保存されませんでした: %1</translation>
    </message>
    <message>
        <source>%1 files saved</source>
        <translation>%1 個のファイルを保存しました</translation>
    </message>
    <message>
        <source>Not all saved: %1</source>
        <translation>一部が保存されませんでした: %1</translation>
    </message>
    <message>
        <source>edge jump</source>
        <translation>吸収端ジャンプ</translation>
    </message>
    <message>
        <source>edge energy E0</source>
        <translation>吸収端エネルギー E0</translation>
    </message>
    <message>
        <source>white line energy</source>
        <translation>ホワイトラインのエネルギー</translation>
    </message>
    <message>
        <source>white line height</source>
        <translation>ホワイトラインの高さ</translation>
    </message>
    <message>
        <source>R-factor</source>
        <translation>R 因子</translation>
    </message>
    <message>
        <source>mask (1 analysed)</source>
        <translation>マスク (1: 解析済み)</translation>
    </message>
    <message>
        <source>fraction of %1</source>
        <translation>%1 の割合</translation>
    </message>
    <message>
        <source>twice the attenuation per pixel</source>
        <translation>画素あたり減衰の 2 倍</translation>
    </message>
    <message>
        <source>x %1, y %2: %3 = %4</source>
        <translation>x %1, y %2: %3 = %4</translation>
    </message>
    <message>
        <source>XANES maps, slices</source>
        <translation>XANES マップ、スライス</translation>
    </message>
    <message>
        <source>XANES pre-edge noise, slices</source>
        <translation>XANES 吸収端前ノイズ、スライス</translation>
    </message>
</context>
</TS>
