// Type GUIDs of the engine's channel classes that our plug-ins derive from or read.
#pragma once

#include "plugin_frame/guid.h"

namespace type_guids {
inline constexpr GUID kFloatChannel = MakeGuid("9F9FF213-DED7-599F-80D1-45463E6C473B");
inline constexpr GUID kMatrixChannel = MakeGuid("760F8B3E-E731-5824-A7F7-10BABEB52453");
inline constexpr GUID kVectorChannel = MakeGuid("477BF31D-1058-5465-BE9C-BC0AA5D7D1C0");
inline constexpr GUID kStringChannel = MakeGuid("64DDB092-0AD4-5D10-A7C1-171C793D51D2");
inline constexpr GUID kTickCountChannel = MakeGuid("A882B348-B00B-502B-BE57-1108390D677D");
inline constexpr GUID kDirectGraphicsChannel = MakeGuid("AFB088FC-C645-56F5-BF2F-5A4DF0FE626A");
inline constexpr GUID kObjectChannel = MakeGuid("6A205778-365B-53FD-AACF-77A367B47B19");
inline constexpr GUID kD3DDeviceUse = MakeGuid("4051B7C1-8048-5F12-8F72-27D3576595B7");
inline constexpr GUID kObjectDataChannel = MakeGuid("7F4FE98A-A941-56C7-BA13-480C5110A706");
inline constexpr GUID kStencilShadowBaseObject = MakeGuid("F37333DC-0710-59A2-BAF6-B8CAF0B8E616");
inline constexpr GUID kSurfaceChannel = MakeGuid("0CA21FFA-3422-54FE-9096-F3BFA4CFB85B");
inline constexpr GUID kWin32Font = MakeGuid("142087B5-CF04-531B-AD8B-01C5E2AA5A93");
inline constexpr GUID kCollisionObject = MakeGuid("EA956DB7-15EC-5403-A421-46FD5AFDE52C");

// Sibling channels of the scene: skinned object data kinds, and stand-ins of our own.
inline constexpr GUID kSkinnedObjectData = MakeGuid("4EFC5CFE-5DED-5F28-8ADC-47D09B82087A");
inline constexpr GUID kBoneOffsetObjectData = MakeGuid("67F46390-E31C-557C-A841-C72C748078E0");
inline constexpr GUID kStencilShadow = MakeGuid("0F1C3E9A-11FE-4100-BD1D-C80312C29D15");
inline constexpr GUID kPointLight = MakeGuid("85E5E6FE-6752-4181-8EFC-98E78B37FFD4");
inline constexpr GUID kPrimitiveMesh = MakeGuid("A53A33E9-51F6-44B8-8D35-9C1637E6F29C");
inline constexpr GUID kMeshFile = MakeGuid("415BE20A-D83C-49CA-8E28-796FC8428E1C");
inline constexpr GUID kCamera = MakeGuid("6EBEFE0E-559F-4FE0-BA3A-AAE033C83A10");

// This system's plug-ins.
inline constexpr GUID kValueOperator = MakeGuid("048425EF-3B0E-551D-9206-B4160D97F196");
inline constexpr GUID k3DText = MakeGuid("8DF0D3E6-A5E2-51F1-ACF7-6159952C4847");
inline constexpr GUID kPhysicsBody = MakeGuid("4D7179A6-9615-5A84-826D-7A91E0C8306F");
inline constexpr GUID kPhysicsWorld = MakeGuid("612B6EDB-E73E-59B5-A27B-9884457842A9");
inline constexpr GUID kSoftwareStencilShadow = MakeGuid("A85BC21D-BCF7-51BA-985A-7A95E7DF407C");

// The engine's own file types.
inline constexpr GUID kCompressedFile = MakeGuid("4806DF8E-A410-5F04-A297-090D455D9BEE");
// Channel group files (.cgr) of this engine.
inline constexpr GUID kChannelGroupFile = MakeGuid("5E0C41A7-93D2-4B8F-A6E1-27C9D4F08B35");
}  // namespace type_guids
